#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

// Shows the store's sheets over a window one at a time, as its flags (`showingPalette`,
// `showingSavePreset`, `showingHistory`) ask. A flag that is raised while another sheet is
// open waits until that one closes, and is shown then if it is still raised; while the window
// is hidden (the background-watch mode) every sheet waits for it to be shown. A sheet is made
// anew for each showing, opened window-modal with `open()` (so nothing waits in a nested event
// loop) and deleted once closed; closing it clears its flag. A sheet closes itself when its
// flag is cleared elsewhere (the palette and the save-preset sheet do).
//
// The main window makes one presenter and calls `follow` once per sheet, for example:
//
//     presenter.follow([&] { return store.showingPalette(); },
//         [&] { store.setShowingPalette(false); }, &store, &RenamerStore::showingPaletteChanged,
//         [&](QWidget* window) { return new RulePalette(store, window); });
namespace sorvik {

class SheetPresenter : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SheetPresenter)

public:
    using IsRaised = std::function<bool()>;
    using Lower = std::function<void()>;
    using Make = std::function<QDialog*(QWidget* window)>;

    /// Presents over `window`, which must outlive the presenter.
    explicit SheetPresenter(QWidget& window, QObject* parent = nullptr);

    /// Shows the sheet that `make` builds whenever `isRaised` holds and no other sheet is
    /// open; `changed` of `sender` tells that the flag may have changed, and `lower` clears it
    /// when the sheet closes.
    template <class Sender, class Signal>
    void follow(IsRaised isRaised, Lower lower, Sender* sender, Signal changed, Make make)
    {
        m_sheets.push_back({ std::move(isRaised), std::move(lower), std::move(make) });
        connect(sender, changed, this, &SheetPresenter::present);
        present();
    }

    /// The sheet shown now; null when none is.
    QDialog* current() const { return m_current; }

    /// Opens the first raised sheet when none is open and the window is shown.
    void present();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Sheet {
        IsRaised isRaised;
        Lower lower;
        Make make;
    };

    QWidget& m_window;
    std::vector<Sheet> m_sheets;
    QPointer<QDialog> m_current;
};

} // namespace sorvik
