#include "app/rules/condition_editor.h"

#include "app/rules/condition_date_edit.h"
#include "app/rules/field_binder.h"
#include "app/rules/text_field.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace sorvik {

namespace {

    constexpr int spacing = 10;
    constexpr int byteFieldWidth = 120;

    // The extension list as typed: split at each ",", empty pieces dropped, nothing trimmed.
    std::vector<std::string> splitExtensions(std::string_view text)
    {
        std::vector<std::string> extensions;
        std::size_t start = 0;
        while (start <= text.size()) {
            auto comma = std::min(text.find(',', start), text.size());
            if (comma > start)
                extensions.emplace_back(text.substr(start, comma - start));
            start = comma + 1;
        }
        return extensions;
    }

    std::string joinExtensions(const std::vector<std::string>& extensions)
    {
        std::string text;
        for (std::size_t index = 0; index < extensions.size(); ++index) {
            if (index > 0)
                text += ',';
            text += extensions[index];
        }
        return text;
    }

    template <class Case> const Case* caseAt(const Rule& rule, std::size_t index)
    {
        if (!rule.condition || index >= rule.condition->conditions.size())
            return nullptr;
        return std::get_if<Case>(&rule.condition->conditions[index].value);
    }

    // A field of the condition at `index`, while that condition is of the case `Case`: the
    // rows are made for the conditions as they were, and a write never reaches another one.
    template <class Case, class Value>
    FieldAccess<Value> conditionField(std::size_t index, std::function<Value(const Case&)> get,
        std::function<void(Case&, Value)> set)
    {
        return { [index, get](const Rule& rule) -> std::optional<Value> {
                    const auto* condition = caseAt<Case>(rule, index);
                    if (!condition)
                        return std::nullopt;
                    return get(*condition);
                },
            [index, set](const Rule& rule, Value value) -> std::optional<Rule> {
                if (!caseAt<Case>(rule, index))
                    return std::nullopt;
                Rule changed = rule;
                set(std::get<Case>(changed.condition->conditions[index].value), std::move(value));
                return changed;
            } };
    }

    template <class... Callables> struct Overloaded : Callables... {
        using Callables::operator()...;
    };
    template <class... Callables> Overloaded(Callables...) -> Overloaded<Callables...>;

} // namespace

class ConditionEditor::Row : public QWidget {
public:
    Row(std::size_t conditionCase, QWidget* parent)
        : QWidget(parent)
        , caseIndex(conditionCase)
        , fields(new QVBoxLayout)
    {
        fields->setContentsMargins(0, 0, 0, 0);
        fields->setSpacing(spacing);
    }

    void show(const Rule& rule)
    {
        for (const auto& showField : shows)
            showField(rule);
    }

    // Stops the row's controls from writing: the row stands for a condition that moved.
    void retire()
    {
        for (auto* control : findChildren<QWidget*>())
            control->blockSignals(true);
    }

    std::size_t caseIndex;
    QVBoxLayout* fields;
    std::vector<std::function<void(const Rule&)>> shows;
};

ConditionEditor::ConditionEditor(const Rule& rule, QWidget* parent)
    : RuleEditor(rule, parent)
    , m_group(new QWidget(this))
    , m_rowsLayout(new QVBoxLayout)
    , m_add(new QPushButton(QStringLiteral("Add Condition"), m_group))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);

    FieldBinder bind(*this);
    m_onlyWhen = bind.toggle(QStringLiteral("Only when\u2026"), "onlyWhen",
        { [](const Rule& shown) -> std::optional<bool> { return shown.condition.has_value(); },
            [](const Rule& shown, bool isOn) -> std::optional<Rule> {
                Rule changed = shown;
                changed.condition = isOn ? std::optional(startingGroup()) : std::nullopt;
                return changed;
            } });
    layout->addWidget(m_onlyWhen);

    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->setSpacing(spacing);
    groupLayout->addWidget(bind.toggle(QStringLiteral("Match all conditions"), "matchAll",
        { [](const Rule& shown) -> std::optional<bool> {
             if (!shown.condition)
                 return std::nullopt;
             return shown.condition->matchAll;
         },
            [](const Rule& shown, bool matchAll) -> std::optional<Rule> {
                if (!shown.condition)
                    return std::nullopt;
                Rule changed = shown;
                changed.condition->matchAll = matchAll;
                return changed;
            } }));
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(spacing);
    groupLayout->addLayout(m_rowsLayout);

    m_add->setObjectName(QStringLiteral("addCondition"));
    auto* menu = new QMenu(m_add);
    const auto items = addItems();
    for (int item = 0; item < items.size(); ++item) {
        menu->addAction(escapeMnemonics(items[item]), this, [this, item] {
            changeGroup([item](ConditionGroup& group) {
                group.conditions.push_back(newCondition(std::size_t(item), Date::now()));
            });
        });
    }
    m_add->setMenu(menu);
    groupLayout->addWidget(m_add, 0, Qt::AlignLeft);
    layout->addWidget(m_group);

    showRule();
}

ConditionGroup ConditionEditor::startingGroup()
{
    return ConditionGroup { true, { Condition::ext({ "jpg" }) } };
}

QStringList ConditionEditor::addItems()
{
    return { QStringLiteral("Extension"), QStringLiteral("Name contains"),
        QStringLiteral("Regular expression"), QStringLiteral("File kind"),
        QStringLiteral("File size"), QStringLiteral("Modified date") };
}

Condition ConditionEditor::newCondition(std::size_t item, Date now)
{
    switch (item) {
    case 1:
        return Condition::name({}, false);
    case 2:
        return Condition::nameRegex(".*");
    case 3:
        return Condition::kind("image");
    case 4:
        return Condition::size(0, std::nullopt);
    case 5:
        return Condition::modified(Date::distantPast(), now);
    default:
        return Condition::ext({ "jpg" });
    }
}

QMenu* ConditionEditor::addMenu() const { return m_add->menu(); }

void ConditionEditor::ruleShown()
{
    const auto& group = rule().condition;
    m_group->setVisible(group.has_value());
    std::vector<std::size_t> cases;
    if (group) {
        for (const auto& condition : group->conditions)
            cases.push_back(condition.value.index());
    }
    bool sameRows = cases.size() == m_rows.size()
        && std::equal(cases.begin(), cases.end(), m_rows.begin(),
            [](std::size_t caseIndex, const Row* row) { return row->caseIndex == caseIndex; });
    if (!sameRows)
        makeRows();
    for (auto* row : m_rows)
        row->show(rule());
}

void ConditionEditor::changeGroup(const std::function<void(ConditionGroup&)>& change)
{
    Rule changed = rule();
    if (!changed.condition)
        return;
    change(*changed.condition);
    commit(std::move(changed));
}

void ConditionEditor::makeRows()
{
    // The old rows go later: one of them may hold the button whose click is being handled.
    for (auto* row : m_rows) {
        row->retire();
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    if (!rule().condition)
        return;
    const auto& conditions = rule().condition->conditions;
    for (std::size_t index = 0; index < conditions.size(); ++index) {
        auto* row = makeRow(index, conditions[index]);
        m_rowsLayout->addWidget(row);
        m_rows.push_back(row);
    }
}

ConditionEditor::Row* ConditionEditor::makeRow(std::size_t index, const Condition& condition)
{
    auto* row = new Row(condition.value.index(), m_group);
    row->setObjectName(QStringLiteral("conditionRow%1").arg(index));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    // No alignment for the row as a whole: an aligned layout stands at its size hint, shorter
    // than the lines a wrapped label of its fields needs in a narrow column. The button alone
    // keeps to the top.
    layout->addLayout(row->fields, 1);

    auto* remove = new QToolButton(row);
    remove->setObjectName(QStringLiteral("removeCondition"));
    remove->setIcon(symbolIcon("minus.circle"));
    remove->setAutoRaise(true);
    remove->setAccessibleName(QStringLiteral("Remove condition"));
    remove->setToolTip(QStringLiteral("Remove condition"));
    // A click takes the focus, so a number still being typed in a row is committed before
    // the rows change.
    remove->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(remove, 0, Qt::AlignTop);
    connect(remove, &QToolButton::clicked, this, [this, index] {
        changeGroup([index](ConditionGroup& group) {
            if (index < group.conditions.size())
                group.conditions.erase(group.conditions.begin() + std::ptrdiff_t(index));
        });
    });

    FieldBinder bind(*this, row->shows);
    auto& fields = *row->fields;
    std::visit(
        Overloaded {
            [&](const Condition::Ext&) {
                auto* field = bind.textField(QStringLiteral("Extensions, comma separated"),
                    "extensions",
                    conditionField<Condition::Ext, std::string>(
                        index,
                        [](const Condition::Ext& ext) { return joinExtensions(ext.extensions); },
                        [](Condition::Ext& ext, std::string text) {
                            ext.extensions = splitExtensions(text);
                        }));
                field->setStoredForm(
                    [](const std::string& text) { return joinExtensions(splitExtensions(text)); });
                fields.addWidget(field);
            },
            [&](const Condition::Name&) {
                fields.addWidget(bind.textField(QStringLiteral("Name contains"), "nameText",
                    conditionField<Condition::Name, std::string>(
                        index, [](const Condition::Name& name) { return name.text; },
                        [](Condition::Name& name, std::string text) {
                            name.text = std::move(text);
                        })));
                fields.addWidget(bind.toggle(QStringLiteral("Case sensitive"), "caseSensitive",
                    conditionField<Condition::Name, bool>(
                        index, [](const Condition::Name& name) { return name.caseSensitive; },
                        [](Condition::Name& name, bool isOn) { name.caseSensitive = isOn; })));
            },
            [&](const Condition::NameRegex&) {
                fields.addWidget(bind.textField(QStringLiteral("Regular expression"), "pattern",
                    conditionField<Condition::NameRegex, std::string>(
                        index, [](const Condition::NameRegex& regex) { return regex.pattern; },
                        [](Condition::NameRegex& regex, std::string pattern) {
                            regex.pattern = std::move(pattern);
                        })));
            },
            [&](const Condition::Kind&) {
                QStringList entries;
                for (auto kind : fileKinds)
                    entries.append(QString::fromUtf8(kind.data(), qsizetype(kind.size())));
                // A kind outside the seven (a hand-edited file) shows no entry and stays.
                fields.addWidget(bind.pickerRow(QStringLiteral("File kind"), "fileKind", entries,
                    conditionField<Condition::Kind, int>(
                        index,
                        [](const Condition::Kind& kind) {
                            auto found = std::find(fileKinds.begin(), fileKinds.end(), kind.name);
                            return found == fileKinds.end()
                                ? -1
                                : static_cast<int>(found - fileKinds.begin());
                        },
                        [](Condition::Kind& kind, int entry) {
                            if (entry >= 0 && std::size_t(entry) < fileKinds.size())
                                kind.name = std::string(fileKinds[std::size_t(entry)]);
                        })));
            },
            [&](const Condition::Size&) {
                fields.addWidget(bind.numberRow(QStringLiteral("Larger than bytes"), "greaterThan",
                    conditionField<Condition::Size, std::int64_t>(
                        index,
                        [](const Condition::Size& size) { return size.greaterThan.value_or(0); },
                        [](Condition::Size& size, std::int64_t bytes) {
                            size.greaterThan = bytes;
                        }),
                    byteFieldWidth));
                fields.addWidget(
                    bind.numberRow(QStringLiteral("Smaller than bytes (0 = no limit)"), "lessThan",
                        conditionField<Condition::Size, std::int64_t>(
                            index,
                            [](const Condition::Size& size) { return size.lessThan.value_or(0); },
                            [](Condition::Size& size, std::int64_t bytes) {
                                size.lessThan = bytes > 0 ? std::optional(bytes) : std::nullopt;
                            }),
                        byteFieldWidth));
            },
            [&](const Condition::Modified&) {
                addDateRow(*row, index, true);
                addDateRow(*row, index, false);
            },
        },
        condition.value);
    return row;
}

void ConditionEditor::addDateRow(Row& row, std::size_t index, bool isAfter)
{
    auto label = isAfter ? QStringLiteral("After") : QStringLiteral("Before");
    auto* line = new QWidget(&row);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(label, line);
    auto* field = new ConditionDateEdit(label, line);
    field->setObjectName(isAfter ? QStringLiteral("after") : QStringLiteral("before"));
    title->setBuddy(field);
    layout->addWidget(title);
    layout->addWidget(field);
    layout->addStretch(1);
    row.fields->addWidget(line);

    connect(field, &ConditionDateEdit::momentPicked, field, [this, index, isAfter](Date moment) {
        Rule changed = rule();
        if (!caseAt<Condition::Modified>(changed, index))
            return;
        auto& modified = std::get<Condition::Modified>(changed.condition->conditions[index].value);
        (isAfter ? modified.after : modified.before) = moment;
        commit(std::move(changed));
    });
    row.shows.push_back([field, index, isAfter](const Rule& shown) {
        const auto* modified = caseAt<Condition::Modified>(shown, index);
        if (!modified)
            return;
        // An absent bound shows what it stands for: no lower bound, or up to now.
        const auto& bound = isAfter ? modified->after : modified->before;
        field->showMoment(bound.value_or(isAfter ? Date::distantPast() : Date::now()));
    });
}

} // namespace sorvik
