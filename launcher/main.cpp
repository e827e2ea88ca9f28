// nightporter: the login item. At login it starts the sorvik in its own folder watching the
// watch folders, without showing its window, and ends at once, whether or not the start
// worked: it has no window, no settings and nothing to say.
//
// The child is detached and gets /dev/null for its standard input, output and error: a child
// keeps the pipes it inherits open, so whoever waits on this program's output would otherwise
// wait for sorvik to end. Its environment is this program's (the display, the session bus).
#include <QCoreApplication>
#include <QProcess>
#include <QString>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QProcess sorvik;
    // The folder of the program itself, with links resolved: a link to nightporter elsewhere
    // still starts the sorvik installed beside it.
    sorvik.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/sorvik"));
    sorvik.setArguments({ QStringLiteral("--background-watch") });
    sorvik.setStandardInputFile(QProcess::nullDevice());
    sorvik.setStandardOutputFile(QProcess::nullDevice());
    sorvik.setStandardErrorFile(QProcess::nullDevice());
    sorvik.startDetached();
    return 0;
}
