#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;
class QParallelAnimationGroup;
class QPropertyAnimation;
class QPushButton;

namespace sorvik {

class RenamerStore;

// The store's short confirmations ("Renamed 3 files", "Nothing new to add") as a capsule
// floating above the bottom of the widget it is a child of, with an "Undo" button that puts
// back the last renamed batch while there is one. It slides up and fades in when the store
// shows a toast, and out again when the store clears it; the store keeps the time.
class ToastOverlay : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToastOverlay)

public:
    static constexpr const char* undoText = "Undo";
    /// Between the capsule's lower edge and the bottom of the widget it floats over.
    static constexpr int bottomOffset = 70;
    /// Room kept around the capsule for its shadow.
    static constexpr int shadowMargin = 10;
    static constexpr int animationMilliseconds = 220;

    /// Floats over `host`, which must not be null.
    ToastOverlay(RenamerStore& store, QWidget* host);

    QString text() const;
    QPushButton& undoButton() const { return *m_undo; }
    /// Whether a toast is shown or on its way in.
    bool isShowing() const { return m_showing; }
    /// Where the widget rests while shown, in the host's coordinates.
    QPoint restingPosition() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void updateUndo();
    void animate(bool in);

    RenamerStore& m_store;
    QWidget* m_host = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_undo = nullptr;
    QGraphicsOpacityEffect* m_opacity = nullptr;
    QParallelAnimationGroup* m_animation = nullptr;
    QPropertyAnimation* m_move = nullptr;
    QPropertyAnimation* m_fade = nullptr;
    bool m_showing = false;
};

} // namespace sorvik
