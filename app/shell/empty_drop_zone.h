#pragma once

#include <QPixmap>
#include <QWidget>

class QPushButton;
class QSpacerItem;

namespace sorvik {

class RenamerStore;
class SymbolLabel;

// What the file list shows while no file is listed: the brand symbol, a welcome, the button
// that chooses files to add, the shortcuts and the privacy line, on the brand canvas. While
// files are dragged over the list a solid frame in the accent colour marks the zone; it is
// only painted, so clicks and drops pass through it. The zone takes no drops itself: they
// reach the file list around it. The brand symbol is painted too, not a widget: it is
// decoration, which assistive tools should not read as an unnamed image.
class EmptyDropZone : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmptyDropZone)

public:
    static constexpr const char* titleText = "A better name starts here.";
    static constexpr const char* subtitleText = "Drop files or a folder. Preview every change.";
    static constexpr const char* chooseText = "Choose Files or Folder\u2026";
    static constexpr const char* shortcutsText = "Ctrl+O to add files \u00B7 Ctrl+K to add a rule";
    static constexpr const char* privacyText
        = "Private by design. File contents stay on this computer.";
    static constexpr int symbolSide = 72;
    static constexpr int frameInset = 20;
    static constexpr int frameRadius = 16;
    static constexpr int frameWidth = 2;

    explicit EmptyDropZone(RenamerStore& store, QWidget* parent = nullptr);

    bool isTargeted() const { return m_targeted; }
    /// Shows or hides the frame.
    void setTargeted(bool targeted);

    QPushButton& chooseButton() const { return *m_choose; }
    /// Where the brand symbol is painted.
    QRect symbolRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RenamerStore& m_store;
    bool m_targeted = false;
    QSpacerItem* m_symbol = nullptr;
    QPixmap m_symbolImage;
    QPushButton* m_choose = nullptr;
};

} // namespace sorvik
