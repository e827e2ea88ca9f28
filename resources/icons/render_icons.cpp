// Renders the application icon's drawing into the PNG sizes of the hicolor icon theme, at
// build time, so that the drawing is the one source of every size.
//
// Usage: sorvik_render_icons DRAWING.svg OUTPUT-FOLDER SIZE…
// Writes OUTPUT-FOLDER/SIZExSIZE/apps/<drawing's name>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Usage: %s DRAWING.svg OUTPUT-FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QString drawing = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(drawing);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: not a drawing\n", argv[1]);
        return 1;
    }
    QString name = QFileInfo(drawing).completeBaseName();
    for (int index = 3; index < argc; ++index) {
        int size = QString::fromLocal8Bit(argv[index]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "%s: not a size\n", argv[index]);
            return 2;
        }
        QString folder
            = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name + ".png")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
