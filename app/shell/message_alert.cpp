#include "app/shell/message_alert.h"

#include "app/rules/panels/sheet_presenter.h"
#include "app/store/renamer_store.h"
#include "app/style/screen_fit.h"
#include "app/style/ui_style.h"

#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>

namespace sorvik {

MessageAlert::MessageAlert(RenamerStore& store, QWidget& window, SheetPresenter* sheets)
    : QObject(&window)
    , m_store(store)
    , m_window(window)
    , m_sheets(sheets)
{
    m_window.installEventFilter(this);
    connect(&m_store, &RenamerStore::messageChanged, this, &MessageAlert::present);
    present();
}

void MessageAlert::present()
{
    const auto& message = m_store.message();
    if (!message) {
        if (auto* box = m_box.data()) {
            // Forgotten first, so that its closing does not clear a message once more.
            m_box = nullptr;
            box->done(QMessageBox::Ok);
        }
        return;
    }
    auto text = toQString(*message);
    if (m_box) {
        m_box->setText(text);
        // A longer text may now need its room on the screen, or a shorter one no longer.
        refitToScreen(*m_box);
        return;
    }
    if (!m_window.isVisible())
        return;

    QWidget* over = &m_window;
    if (m_sheets) {
        // A sheet that is raised opens first (the window may just have been shown), so the
        // alert comes over it rather than under it.
        m_sheets->present();
        if (m_sheets->current() && m_sheets->current()->isVisible())
            over = m_sheets->current();
    }
    auto* box = new QMessageBox(
        QMessageBox::NoIcon, QString::fromLatin1(titleText), text, QMessageBox::Ok, over);
    box->setObjectName(QStringLiteral("messageAlert"));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_box = box;
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (m_box != box)
            return;
        m_box = nullptr;
        m_store.setMessage(std::nullopt);
    });
    // A sheet it was shown over may close (and take it along) while the message stands.
    connect(box, &QObject::destroyed, this, &MessageAlert::presentLater);
    box->open();
}

void MessageAlert::presentLater()
{
    QMetaObject::invokeMethod(this, &MessageAlert::present, Qt::QueuedConnection);
}

bool MessageAlert::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Show)
        presentLater();
    return QObject::eventFilter(watched, event);
}

} // namespace sorvik
