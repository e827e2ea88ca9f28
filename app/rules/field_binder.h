#pragma once

#include "app/rules/rule_editor.h"
#include "app/rules/rule_field.h"
#include "engine/model/rename_options.h"
#include "engine/model/rule_options.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QWidget;

// Makes the controls of an editor, each bound to one field of its rule: the control shows the
// field whenever the editor shows a rule, and a change the user makes writes the rule with
// that field changed. The kind editors bind the fields of their settings; the condition editor
// binds the fields of one condition. Every control gets its field's name as object name.
namespace sorvik {

class IntegerField;
class Stepper;
class TextField;
class TokenPicker;

/// How a control reaches its field: the field's value in a rule (nothing when the rule has no
/// such field), and the rule with the field set (nothing when it cannot be set).
template <class Value> struct FieldAccess {
    std::function<std::optional<Value>(const Rule&)> read;
    std::function<std::optional<Rule>(const Rule&, Value)> write;
};

/// A field of a kind's settings.
template <class Config, class Value> FieldAccess<Value> configField(Value Config::*field)
{
    return { [field](const Rule& rule) { return fieldValue(rule, field); },
        [field](
            const Rule& rule, Value value) { return withField(rule, field, std::move(value)); } };
}

/// The cases of an option enumeration in order, each with the text that its picker shows: the
/// display title of a single-form option, the case name of a rule option.
template <class Enum> constexpr const auto& optionTable()
{
    if constexpr (requires { OptionTexts<Enum>::table; })
        return OptionTexts<Enum>::table;
    else
        return RuleOptionNames<Enum>::table;
}

/// The texts a picker over the enumeration shows, in case order.
template <class Enum> QStringList optionEntries()
{
    QStringList entries;
    for (const auto& entry : optionTable<Enum>())
        entries.append(QString::fromUtf8(entry.second.data(), qsizetype(entry.second.size())));
    return entries;
}

/// An option field of a kind's settings, reached by its place among the cases (-1 for none).
template <class Config, class Enum> FieldAccess<int> optionField(Enum Config::*field)
{
    return { [field](const Rule& rule) -> std::optional<int> {
                auto value = fieldValue(rule, field);
                if (!value)
                    return std::nullopt;
                const auto& table = optionTable<Enum>();
                for (std::size_t index = 0; index < table.size(); ++index) {
                    if (table[index].first == *value)
                        return static_cast<int>(index);
                }
                return -1;
            },
        [field](const Rule& rule, int index) -> std::optional<Rule> {
            const auto& table = optionTable<Enum>();
            if (index < 0 || static_cast<std::size_t>(index) >= table.size())
                return std::nullopt;
            return withField(rule, field, table[static_cast<std::size_t>(index)].first);
        } };
}

class FieldBinder {
public:
    /// Controls that write through `editor` and show the rule through `shows`.
    FieldBinder(RuleEditor& editor, std::vector<std::function<void(const Rule&)>>& shows);
    /// Controls of the editor itself.
    explicit FieldBinder(RuleEditor& editor);

    /// A one-line field titled `label` (its placeholder); typing writes with a typing key.
    TextField* textField(
        const QString& label, const std::string& field, FieldAccess<std::string> access);
    /// A check box.
    QCheckBox* toggle(const QString& label, const std::string& field, FieldAccess<bool> access);
    /// A number field that writes when the edit is committed.
    IntegerField* integerField(
        const QString& label, const std::string& field, FieldAccess<std::int64_t> access);
    /// A number field of `fieldWidth` titled `label`, with the label beside it where it fits
    /// on one line and above it otherwise.
    QWidget* numberRow(const QString& label, const std::string& field,
        FieldAccess<std::int64_t> access, int fieldWidth = numberFieldWidth);
    /// The label and a pop-up of `entries`; the field is reached by the entry's place.
    QWidget* pickerRow(const QString& label, const std::string& field, const QStringList& entries,
        FieldAccess<int> access);
    /// A label showing the number (`labelFormat` holds "%1") and two buttons that step it
    /// within `minimum` to `maximum`; a step writes at once.
    Stepper* stepper(const QString& labelFormat, const std::string& field, std::int64_t minimum,
        std::int64_t maximum, FieldAccess<std::int64_t> access);
    /// The "Insert Token…" button over a template field; an inserted token writes at once.
    TokenPicker* tokenPicker(FieldAccess<std::string> access);

    static constexpr int numberFieldWidth = 70;

private:
    // Names the control, writes what `changed` reports and shows the field with `show`.
    template <class Control, class Signal, class Value, class Show>
    Control* bound(Control* control, const std::string& field, Signal changed,
        FieldAccess<Value> access, Show show);

    // The controls outlive the binder that made them: what they do reaches the editor alone.
    template <class Value>
    static void write(RuleEditor& editor, const FieldAccess<Value>& access, Value value,
        const std::optional<std::string>& typingKey = std::nullopt);

    RuleEditor& m_editor;
    std::vector<std::function<void(const Rule&)>>& m_shows;
};

} // namespace sorvik
