#pragma once

#include "app/rules/list_import.h"
#include "app/rules/rule_editor.h"

#include <QString>

#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The editor of a rename-from-a-list rule: whether entries are matched by original name, the
// list text, typed or imported from a file, and how many entries the text holds while it is a
// valid list. The text is kept exactly as typed or read: a leading U+FEFF, U+00A0 and U+2028
// stay what they are (a plain text edit's own plain text would turn them into spaces and line
// breaks). An import that fails says why and changes nothing; its text stays for as long as
// the editor lives, also after a later import succeeds, and a new editor starts without one.
namespace sorvik {

class ListRuleEditor : public RuleEditor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListRuleEditor)

public:
    /// Lists of this many bytes or more are counted a moment after typing stops, not at
    /// every keystroke.
    static constexpr std::size_t countDelayThreshold = 64 * 1024;
    static constexpr int countDelayMilliseconds = 200;

    ListRuleEditor(const Rule& rule, ListImport import, QWidget* parent = nullptr);

    /// Asks for a file and, when it reads as a list, makes its whole text the list, keeping
    /// "Match original names". A failure shows its text.
    void importFile();

    /// The text of the last failed import; empty while none failed.
    QString error() const { return m_errorText; }

protected:
    void ruleShown() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::string shownText() const;
    void showText();
    void countEntries();
    void showError(const QString& text);

    ListImport m_import;
    QCheckBox* m_byName;
    QPlainTextEdit* m_text;
    QPushButton* m_importButton;
    QLabel* m_error;
    QLabel* m_count;
    QTimer* m_countTimer;
    QString m_errorText;
    // The edit's text as it was last read or set.
    std::string m_shownText;
    std::uint64_t m_textRun;
};

} // namespace sorvik
