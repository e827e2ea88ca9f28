#pragma once

#include "app/rules/rule_editor.h"
#include "tests/support/engine_printers.h"

#include <nlohmann/json.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {

inline void PrintTo(const Rule& rule, std::ostream* stream)
{
    *stream << nlohmann::json(rule).dump();
}

} // namespace sorvik

namespace sorvik::testing {

/// One change an editor reported.
struct Edit {
    Rule rule;
    std::optional<std::string> typingKey;
};

/// An editor in a shown window, as its card holds it: every change it reports is kept and, as
/// the store does, shown again in the editor (`echo`).
class EditorHost {
public:
    explicit EditorHost(RuleEditor* editor, bool echo = true)
        : m_window(std::make_unique<QWidget>())
        , m_editor(editor)
    {
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(editor);
        m_window->resize(360, 600);
        QObject::connect(editor, &RuleEditor::ruleEdited, editor,
            [this, echo](const Rule& rule, const std::optional<std::string>& typingKey) {
                edits.push_back({ rule, typingKey });
                if (echo)
                    m_editor->setRule(rule);
            });
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    EditorHost(const EditorHost&) = delete;
    EditorHost& operator=(const EditorHost&) = delete;
    EditorHost(EditorHost&&) = delete;
    EditorHost& operator=(EditorHost&&) = delete;

    RuleEditor& editor() const { return *m_editor; }
    QWidget& window() const { return *m_window; }

    template <class Widget = QWidget> Widget* find(const char* name) const
    {
        auto* widget = m_editor->findChild<Widget*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << "no control " << name;
        return widget;
    }

    /// Types at the end of a field the way a user does: focus, then one key after another.
    void type(const char* name, const QString& text) const
    {
        auto* field = find<QLineEdit>(name);
        field->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(field, text);
    }

    /// Replaces a field's text by typing and presses Return.
    void enter(const char* name, const QString& text) const
    {
        auto* field = find<QLineEdit>(name);
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    void click(const char* name) const { find<QAbstractButton>(name)->click(); }

    /// Chooses the picker's entry as a user does: it becomes current, then is activated.
    void choose(const char* name, int index) const
    {
        auto* picker = find<QComboBox>(name);
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }

    /// Moves the focus out of whatever has it.
    void leaveField() const
    {
        if (auto* focused = QApplication::focusWidget())
            focused->clearFocus();
    }

    Rule lastRule() const { return edits.empty() ? m_editor->rule() : edits.back().rule; }

    std::vector<Edit> edits;

private:
    std::unique_ptr<QWidget> m_window;
    RuleEditor* m_editor;
};

/// A rule that shows that only its kind's settings change: disabled, with a condition.
inline Rule ruleOf(RuleKind kind)
{
    Rule rule(std::move(kind));
    rule.isEnabled = false;
    rule.condition = ConditionGroup { false, { Condition::kind("audio") } };
    return rule;
}

/// Numbers in the English format ("2,000,000") while the object lives.
class EnglishNumbers {
public:
    EnglishNumbers() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~EnglishNumbers() { QLocale::setDefault(m_previous); }
    EnglishNumbers(const EnglishNumbers&) = delete;
    EnglishNumbers& operator=(const EnglishNumbers&) = delete;

private:
    QLocale m_previous;
};

} // namespace sorvik::testing
