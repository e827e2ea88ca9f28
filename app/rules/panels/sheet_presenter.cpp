#include "app/rules/panels/sheet_presenter.h"

#include <QDialog>
#include <QEvent>
#include <QWidget>

namespace sorvik {

SheetPresenter::SheetPresenter(QWidget& window, QObject* parent)
    : QObject(parent)
    , m_window(window)
{
    m_window.installEventFilter(this);
}

void SheetPresenter::present()
{
    if (m_current || !m_window.isVisible())
        return;
    for (std::size_t index = 0; index < m_sheets.size(); ++index) {
        if (!m_sheets[index].isRaised())
            continue;
        auto* sheet = m_sheets[index].make(&m_window);
        if (!sheet)
            return;
        m_current = sheet;
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        connect(sheet, &QDialog::finished, this, [this, sheet, index] {
            if (m_current == sheet)
                m_current = nullptr;
            m_sheets[index].lower();
            // The next raised sheet opens once this one is gone from the screen.
            QMetaObject::invokeMethod(this, &SheetPresenter::present, Qt::QueuedConnection);
        });
        sheet->open();
        return;
    }
}

bool SheetPresenter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Show)
        QMetaObject::invokeMethod(this, &SheetPresenter::present, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

} // namespace sorvik
