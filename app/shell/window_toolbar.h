#pragma once

#include <QToolBar>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QToolButton;

namespace sorvik {

class BrandWordmark;
class PresetsMenu;
class RenamerStore;

// The main window's toolbar: the wordmark in the middle, then the window's commands in
// order: "History", the "Presets" menu, the "Filter" picker, the planning indicator and the
// AI naming progress (each shown only while it applies, independently, in room kept for them
// so that nothing else moves when they come and go), the "Folder options" menu of scan
// switches, the "Sort" picker, the sort direction and "Add". Every control is
// bound to the store both ways: it shows the store's value when made and whenever it changes,
// and only the user's own choices write back (a value set here never echoes into the store).
class WindowToolbar : public QToolBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowToolbar)

public:
    static constexpr const char* historyText = "History";
    static constexpr const char* filterText = "Filter";
    static constexpr const char* folderOptionsText = "Folder options";
    static constexpr const char* folderOptionsHelp = "How folders are scanned when you add them";
    static constexpr const char* subfoldersText = "Include files in subfolders";
    static constexpr const char* hiddenText = "Include hidden files";
    static constexpr const char* renameFoldersText = "Rename folders themselves";
    static constexpr const char* pairPhotosText = "Pair RAW + JPEG / sidecars";
    static constexpr const char* sortText = "Sort";
    static constexpr const char* sortHelp = "Order also decides the numbering";
    static constexpr const char* ascendingText = "Ascending";
    static constexpr const char* descendingText = "Descending";
    static constexpr const char* addText = "Add";
    static constexpr const char* addHelp = "Add files or folders (Ctrl+O)";
    static constexpr const char* planningText = "Planning the new names";

    explicit WindowToolbar(RenamerStore& store, QWidget* parent = nullptr);

    BrandWordmark& wordmark() const { return *m_wordmark; }
    QToolButton& historyButton() const { return *m_history; }
    QToolButton& presetsButton() const { return *m_presets; }
    PresetsMenu& presetsMenu() const { return *m_presetsMenu; }
    QComboBox& filterPicker() const { return *m_filter; }
    QProgressBar& planningIndicator() const { return *m_planning; }
    QLabel& aiProgressLabel() const { return *m_aiProgress; }
    QToolButton& folderOptionsButton() const { return *m_folderOptions; }
    QMenu& folderOptionsMenu() const { return *m_folderOptionsMenu; }
    QComboBox& sortPicker() const { return *m_sort; }
    QToolButton& directionButton() const { return *m_direction; }
    QToolButton& addButton() const { return *m_add; }
    /// Whether the toolbar shows the planning indicator, and the AI naming progress.
    bool showsPlanning() const;
    bool showsAIProgress() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* makeButton(const QString& text, const char* objectName);
    void addCentredWordmark();
    void placeWordmark();
    void addFolderOptions();
    /// The planning indicator and the AI naming progress, in one item as wide as both.
    void addProgress();
    /// A checkable item of the folder options showing `value` and setting it with `set`;
    /// `changed` of the store tells that the value may have changed.
    void addScanSwitch(const char* text, const char* objectName, void (RenamerStore::*changed)(),
        std::function<bool()> value, std::function<void(bool)> set);
    void showFilter();
    void showPlanning();
    void showAIProgress();
    void showSort();
    void showDirection();

    RenamerStore& m_store;
    BrandWordmark* m_wordmark = nullptr;
    QToolButton* m_history = nullptr;
    QToolButton* m_presets = nullptr;
    PresetsMenu* m_presetsMenu = nullptr;
    QComboBox* m_filter = nullptr;
    QProgressBar* m_planning = nullptr;
    QLabel* m_aiProgress = nullptr;
    QToolButton* m_folderOptions = nullptr;
    QMenu* m_folderOptionsMenu = nullptr;
    QComboBox* m_sort = nullptr;
    QToolButton* m_direction = nullptr;
    QToolButton* m_add = nullptr;
};

} // namespace sorvik
