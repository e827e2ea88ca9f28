#include "app/rules/field_binder.h"

#include "app/rules/integer_field.h"
#include "app/rules/stepper.h"
#include "app/rules/text_field.h"
#include "app/rules/token_picker.h"
#include "app/style/wheel_guard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>

#include <algorithm>

namespace sorvik {

namespace {

    QString objectName(const std::string& field) { return QString::fromStdString(field); }

    // A number field and its title: the title beside the field while it fits there on one
    // line, above the field otherwise (a narrow column, a large font), so that it is never cut.
    class NumberRow : public QWidget {
    public:
        NumberRow(const QString& label, QWidget* field)
            : m_title(new QLabel(label, this))
            , m_field(field)
            , m_layout(new QBoxLayout(QBoxLayout::LeftToRight, this))
        {
            m_layout->setContentsMargins(0, 0, 0, 0);
            // Above the field, a title longer than the column wraps.
            m_title->setWordWrap(true);
            m_title->setBuddy(field);
            m_layout->addWidget(m_title, 1);
            m_layout->addWidget(field, 0, Qt::AlignLeft);
        }

        bool hasHeightForWidth() const override { return true; }

        int heightForWidth(int width) const override
        {
            int fieldHeight = m_field->sizeHint().height();
            if (fitsBeside(width))
                return std::max(m_title->heightForWidth(titleWidthBeside(width)), fieldHeight);
            return m_title->heightForWidth(width) + m_layout->spacing() + fieldHeight;
        }

        QSize sizeHint() const override
        {
            int width = oneLineWidth() + m_layout->spacing() + fieldWidth();
            return { width, heightForWidth(width) };
        }

        QSize minimumSizeHint() const override
        {
            int width = fieldWidth();
            return { width, heightForWidth(width) };
        }

    protected:
        void resizeEvent(QResizeEvent* event) override
        {
            QWidget::resizeEvent(event);
            auto direction
                = fitsBeside(width()) ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
            if (m_layout->direction() == direction)
                return;
            m_layout->setDirection(direction);
            m_layout->activate();
        }

        void changeEvent(QEvent* event) override
        {
            QWidget::changeEvent(event);
            if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
                updateGeometry();
        }

    private:
        int oneLineWidth() const
        {
            auto margins = m_title->contentsMargins();
            return m_title->fontMetrics().horizontalAdvance(m_title->text()) + 2 * m_title->margin()
                + margins.left() + margins.right();
        }
        int fieldWidth() const
        {
            return m_field->sizeHint()
                .expandedTo(m_field->minimumSize())
                .boundedTo(m_field->maximumSize())
                .width();
        }
        int titleWidthBeside(int width) const { return width - m_layout->spacing() - fieldWidth(); }
        bool fitsBeside(int width) const { return oneLineWidth() <= titleWidthBeside(width); }

        QLabel* m_title;
        QWidget* m_field;
        QBoxLayout* m_layout;
    };

} // namespace

FieldBinder::FieldBinder(RuleEditor& editor, std::vector<std::function<void(const Rule&)>>& shows)
    : m_editor(editor)
    , m_shows(shows)
{
}

FieldBinder::FieldBinder(RuleEditor& editor)
    : FieldBinder(editor, editor.m_shows)
{
}

template <class Value>
void FieldBinder::write(RuleEditor& editor, const FieldAccess<Value>& access, Value value,
    const std::optional<std::string>& typingKey)
{
    if (auto changed = access.write(editor.rule(), std::move(value)))
        editor.commit(std::move(*changed), typingKey);
}

TextField* FieldBinder::textField(
    const QString& label, const std::string& field, FieldAccess<std::string> access)
{
    auto* control = new TextField(label);
    control->setObjectName(objectName(field));
    QObject::connect(control, &TextField::typed, control,
        [editor = &m_editor, control, field, access](const std::string& text) {
            write(*editor, access, text, typingKey(editor->rule().id, field, control->run()));
        });
    m_shows.push_back([control, access](const Rule& rule) {
        if (auto value = access.read(rule))
            control->showStoredText(*value);
    });
    m_shows.back()(m_editor.rule());
    return control;
}

template <class Control, class Signal, class Value, class Show>
Control* FieldBinder::bound(Control* control, const std::string& field, Signal changed,
    FieldAccess<Value> access, Show show)
{
    control->setObjectName(objectName(field));
    QObject::connect(control, changed, control,
        [editor = &m_editor, access](auto value) { write(*editor, access, Value(value)); });
    m_shows.push_back([control, access, show](const Rule& rule) {
        if (auto value = access.read(rule))
            show(*control, *value);
    });
    m_shows.back()(m_editor.rule());
    return control;
}

QCheckBox* FieldBinder::toggle(
    const QString& label, const std::string& field, FieldAccess<bool> access)
{
    // `clicked` is the user's alone: showing a value emits only `toggled`.
    return bound(new QCheckBox(label), field, &QCheckBox::clicked, std::move(access),
        [](QCheckBox& control, bool value) {
            if (control.isChecked() == value)
                return;
            QSignalBlocker blocker(&control);
            control.setChecked(value);
        });
}

IntegerField* FieldBinder::integerField(
    const QString& label, const std::string& field, FieldAccess<std::int64_t> access)
{
    return bound(new IntegerField(label), field, &IntegerField::valueCommitted, std::move(access),
        [](IntegerField& control, std::int64_t value) { control.setValue(value); });
}

QWidget* FieldBinder::numberRow(const QString& label, const std::string& field,
    FieldAccess<std::int64_t> access, int fieldWidth)
{
    auto* control = integerField(label, field, std::move(access));
    control->setFixedWidth(fieldWidth);
    return new NumberRow(label, control);
}

QWidget* FieldBinder::pickerRow(const QString& label, const std::string& field,
    const QStringList& entries, FieldAccess<int> access)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(label, row);
    auto* picker = new QComboBox(row);
    picker->setAccessibleName(label);
    takeWheelOnlyWhenFocused(*picker);
    // The entries are texts of their own, never read as rich text; each stands for its place.
    for (int index = 0; index < entries.size(); ++index)
        picker->addItem(entries[index], index);
    // `activated` is the user's alone; `currentIndexChanged` also follows what is shown.
    auto* control = bound(
        picker, field, &QComboBox::activated, std::move(access), [](QComboBox& shown, int index) {
            if (shown.currentIndex() == index)
                return;
            QSignalBlocker blocker(&shown);
            shown.setCurrentIndex(index);
        });
    title->setBuddy(control);
    layout->addWidget(title);
    layout->addWidget(control);
    layout->addStretch(1);
    return row;
}

Stepper* FieldBinder::stepper(const QString& labelFormat, const std::string& field,
    std::int64_t minimum, std::int64_t maximum, FieldAccess<std::int64_t> access)
{
    return bound(new Stepper(labelFormat, minimum, maximum), field, &Stepper::stepped,
        std::move(access), [](Stepper& control, std::int64_t value) { control.setValue(value); });
}

TokenPicker* FieldBinder::tokenPicker(FieldAccess<std::string> access)
{
    QPointer<RuleEditor> editor(&m_editor);
    return new TokenPicker({ [editor, access]() -> std::string {
                                if (!editor)
                                    return {};
                                return access.read(editor->rule()).value_or(std::string());
                            },
        [editor, access](std::string text) {
            if (editor)
                write(*editor, access, std::move(text));
        } });
}

} // namespace sorvik
