#include "app/shell/update_windows.h"

#include "app/shell/shown_windows.h"
#include "app/style/ui_style.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>

namespace sorvik {

UpdateWindows::UpdateWindows(QObject* parent)
    : QObject(parent)
{
    // The program's windows live as long as the program; a window left open goes with the
    // application object, as closing it later has nothing of Qt's left to close it with.
    if (auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &UpdateWindows::release);
}

UpdateWindows::~UpdateWindows()
{
    if (QCoreApplication::instance())
        release();
}

void UpdateWindows::release()
{
    if (m_waiting) {
        qApp->removeEventFilter(this);
        m_waiting.reset();
    }
    delete m_box.data();
}

QMessageBox* UpdateWindows::present(int icon, const QString& text, const QString& informative)
{
    dismiss();
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), QStringLiteral("sorvik"),
        QString(), QMessageBox::NoButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    // The informative text is read as rich text when it looks like it, and it comes from the
    // server or the network: made rich here, with every character of it escaped.
    if (!informative.isEmpty())
        box->setInformativeText(Qt::convertFromPlainText(informative, Qt::WhiteSpaceNormal));
    m_box = box;
    return box;
}

void UpdateWindows::showChecking(std::function<void()> cancel)
{
    auto* box = present(QMessageBox::Information, QString::fromUtf8(checkingText), QString());
    auto* button = box->addButton(QMessageBox::Cancel);
    connect(button, &QPushButton::clicked, box, [cancel = std::move(cancel)] { cancel(); });
    box->show();
}

void UpdateWindows::showUpToDate(const std::string& currentVersion)
{
    auto* box = present(QMessageBox::Information, QString::fromUtf8(upToDateText),
        QString::fromUtf8(newestVersionText).arg(toQString(currentVersion)));
    box->addButton(QMessageBox::Ok);
    box->show();
}

void UpdateWindows::showUpdateFound(const AvailableUpdate& update, bool background)
{
    if (background && !isAnyWindowShown()) {
        if (!m_waiting)
            qApp->installEventFilter(this);
        m_waiting = update;
        return;
    }
    if (m_waiting) {
        qApp->removeEventFilter(this);
        m_waiting.reset();
    }
    auto* box = present(QMessageBox::Information, QString::fromUtf8(updateFoundText),
        QString::fromUtf8(versionsText)
            .arg(toQString(update.version), toQString(update.currentVersion)));
    if (!update.releaseNotes.empty())
        box->setDetailedText(toQString(update.releaseNotes));
    auto* open
        = box->addButton(escapeMnemonics(QString::fromUtf8(openPageText)), QMessageBox::AcceptRole);
    box->addButton(escapeMnemonics(QString::fromUtf8(notNowText)), QMessageBox::RejectRole);
    box->setDefaultButton(open);
    QUrl page(toQString(update.downloadPage), QUrl::StrictMode);
    connect(open, &QPushButton::clicked, box, [page] { QDesktopServices::openUrl(page); });
    box->show();
}

void UpdateWindows::showCheckFailed(const std::string& reason)
{
    auto* box
        = present(QMessageBox::Warning, QString::fromUtf8(checkFailedText), toQString(reason));
    box->addButton(QMessageBox::Ok);
    box->show();
}

void UpdateWindows::showUnavailable(const std::string& reason)
{
    auto* box = present(QMessageBox::Information, toQString(reason), QString());
    box->addButton(QMessageBox::Ok);
    box->show();
}

void UpdateWindows::dismiss()
{
    if (m_box)
        m_box->close();
    m_box.clear();
}

bool UpdateWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && m_waiting) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog)) {
            // After the window is on the screen, so that the notice comes in front of it.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_waiting)
                        showUpdateFound(*m_waiting, false);
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace sorvik
