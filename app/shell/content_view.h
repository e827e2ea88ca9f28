#pragma once

#include <QWidget>

namespace sorvik {

class FilesPanel;
class FolderAccessBar;
class RenamerStore;
class RuleStackPanel;

// What the main window shows under its toolbar: the folder-access bar across the top (while a
// listed folder needs access or granting failed), then the rule column at its fixed width, a
// divider and the file list taking the rest, on the brand canvas.
class ContentView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContentView)

public:
    static constexpr int ruleColumnWidth = 320;
    /// What assistive tools call the rule list and the file table.
    static constexpr const char* rulesName = "Rule stack";
    static constexpr const char* filesName = "Files";

    explicit ContentView(RenamerStore& store, QWidget* parent = nullptr);

    FolderAccessBar& accessBar() const { return *m_accessBar; }
    RuleStackPanel& rulePanel() const { return *m_rules; }
    FilesPanel& filesPanel() const { return *m_files; }

private:
    FolderAccessBar* m_accessBar = nullptr;
    RuleStackPanel* m_rules = nullptr;
    FilesPanel* m_files = nullptr;
};

} // namespace sorvik
