#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class QWidget;

namespace sorvik {

class RenamerStore;
class SheetPresenter;

// The window's alert for the store's `message`: a message box titled "sorvik" with the text
// as it stands and one "OK". It opens without waiting in a nested event loop, over the sheet
// that is open (so that a sheet's own failure is read over it) or else over the window; a new
// text while it is open replaces the one shown, and a message cleared elsewhere closes it.
// OK, Escape or closing it clears `message`. While the window is hidden (background-watch
// mode) the alert waits and opens once the window is shown; one raised before the window
// existed opens when it is first shown.
class MessageAlert : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageAlert)

public:
    static constexpr const char* titleText = "sorvik";

    /// Follows `store` over `window`, which must outlive the alert; `sheets` (may be null)
    /// presents the window's sheets.
    MessageAlert(RenamerStore& store, QWidget& window, SheetPresenter* sheets);

    /// The message box shown now; null when none is.
    QMessageBox* box() const { return m_box; }

    /// Shows, updates or closes the box as the store's message asks.
    void present();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void presentLater();

    RenamerStore& m_store;
    QWidget& m_window;
    SheetPresenter* m_sheets;
    QPointer<QMessageBox> m_box;
};

} // namespace sorvik
