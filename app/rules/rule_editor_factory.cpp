#include "app/rules/rule_editor_factory.h"

#include "app/rules/field_binder.h"
#include "app/rules/list_rule_editor.h"
#include "app/rules/stepper.h"
#include "app/rules/text_field.h"
#include "app/rules/token_picker.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace sorvik {

namespace {

    constexpr int spacing = 10;
    constexpr std::int64_t fewestWords = 1;
    constexpr std::int64_t mostWords = 12;

    class KindEditor : public RuleEditor {
    public:
        explicit KindEditor(const Rule& rule, QWidget* parent)
            : RuleEditor(rule, parent)
        {
        }
    };

    QLabel* note(const QString& text)
    {
        auto* label = plainLabel(text);
        label->setObjectName(QStringLiteral("note"));
        label->setFont(styleFont(TextStyle::caption));
        label->setWordWrap(true);
        setTone(*label, Tone::secondary);
        return label;
    }

    // Lays out the controls of each kind, top to bottom, each bound to its field.
    struct KindLayout {
        FieldBinder& bind;
        QVBoxLayout& layout;

        void add(QWidget* control, Qt::Alignment alignment = {})
        {
            layout.addWidget(control, 0, alignment);
        }

        void operator()(const ReplaceConfig&)
        {
            add(bind.textField("Find", "find", configField(&ReplaceConfig::find)));
            add(bind.textField(
                "Replacement", "replacement", configField(&ReplaceConfig::replacement)));
            add(bind.toggle("Regex", "regex", configField(&ReplaceConfig::regex)));
            add(bind.toggle(
                "Case sensitive", "caseSensitive", configField(&ReplaceConfig::caseSensitive)));
            add(bind.pickerRow("Scope", "scope", optionEntries<ReplaceScope>(),
                optionField(&ReplaceConfig::scope)));
            add(bind.pickerRow("Occurrence", "occurrence", optionEntries<Occurrence>(),
                optionField(&ReplaceConfig::occurrence)));
        }

        void operator()(const RemoveConfig&)
        {
            add(bind.numberRow("First", "first", configField(&RemoveConfig::first)));
            add(bind.numberRow("Last", "last", configField(&RemoveConfig::last)));
            add(bind.numberRow(
                "Range start (0-based)", "rangeStart", configField(&RemoveConfig::rangeStart)));
            add(bind.numberRow(
                "Range end (exclusive)", "rangeEnd", configField(&RemoveConfig::rangeEnd)));
            add(bind.textField("Remove before text", "before", configField(&RemoveConfig::before)));
            add(bind.textField("Remove after text", "after", configField(&RemoveConfig::after)));
        }

        void operator()(const CleanConfig&)
        {
            add(bind.toggle("Weird", "weird", configField(&CleanConfig::weird)));
            add(bind.toggle("Accents", "accents", configField(&CleanConfig::accents)));
            add(bind.toggle("Digits", "digits", configField(&CleanConfig::digits)));
            add(bind.toggle("Brackets", "brackets", configField(&CleanConfig::brackets)));
            add(bind.toggle("Emoji", "emoji", configField(&CleanConfig::emoji)));
            add(bind.toggle("Tidy", "tidy", configField(&CleanConfig::tidy)));
        }

        void operator()(const CaseConfig&)
        {
            add(bind.pickerRow(
                "Style", "style", optionEntries<CaseStyle>(), optionField(&CaseConfig::style)));
            add(bind.toggle("Use PascalCase", "pascal", configField(&CaseConfig::pascal)));
        }

        void operator()(const SpaceConfig&)
        {
            add(bind.pickerRow(
                "Mode", "mode", optionEntries<SpaceMode>(), optionField(&SpaceConfig::mode)));
        }

        void operator()(const InsertConfig&)
        {
            add(bind.textField("Text", "text", configField(&InsertConfig::text)));
            add(bind.tokenPicker(configField(&InsertConfig::text)), Qt::AlignLeft);
            add(bind.pickerRow("Position", "position", optionEntries<InsertPosition>(),
                optionField(&InsertConfig::position)));
            add(bind.numberRow("Position (0-based)", "index", configField(&InsertConfig::index)));
            add(bind.textField("Marker", "marker", configField(&InsertConfig::marker)));
        }

        void operator()(const NumberingConfig&)
        {
            add(bind.pickerRow("Placement", "placement", optionEntries<NumberPlacement>(),
                optionField(&NumberingConfig::placement)));
            add(bind.numberRow("Start", "start", configField(&NumberingConfig::start)));
            add(bind.numberRow("Step", "step", configField(&NumberingConfig::step)));
            add(bind.numberRow("Padding", "padding", configField(&NumberingConfig::padding)));
            add(bind.textField("Separator", "separator", configField(&NumberingConfig::separator)));
            add(bind.textField("Base text", "baseText", configField(&NumberingConfig::baseText)));
            add(bind.toggle(
                "Restart in each folder", "perFolder", configField(&NumberingConfig::perFolder)));
            add(bind.pickerRow("Style", "style", optionEntries<NumberStyle>(),
                optionField(&NumberingConfig::style)));
        }

        void operator()(const DateConfig&)
        {
            add(bind.pickerRow(
                "Source", "source", optionEntries<DateSource>(), optionField(&DateConfig::source)));
            add(bind.textField("Format", "format", configField(&DateConfig::format)));
            add(bind.pickerRow("Placement", "placement", optionEntries<Placement>(),
                optionField(&DateConfig::placement)));
            add(bind.textField("Separator", "separator", configField(&DateConfig::separator)));
        }

        void operator()(const PatternConfig&)
        {
            add(bind.textField("Template", "template", configField(&PatternConfig::templateText)));
            add(bind.tokenPicker(configField(&PatternConfig::templateText)), Qt::AlignLeft);
        }

        void operator()(const LimitConfig&)
        {
            add(bind.numberRow(
                "Maximum characters", "maxCharacters", configField(&LimitConfig::maxCharacters)));
            add(bind.toggle("Keep end", "keepEnd", configField(&LimitConfig::keepEnd)));
        }

        void operator()(const ExtConfig&)
        {
            add(bind.pickerRow(
                "Mode", "mode", optionEntries<ExtMode>(), optionField(&ExtConfig::mode)));
            add(bind.textField("Value", "value", configField(&ExtConfig::value)));
        }

        void operator()(const ListConfig&) { }

        void operator()(const AIConfig&)
        {
            add(bind.pickerRow(
                "Mode", "mode", optionEntries<AIMode>(), optionField(&AIConfig::mode)));
            add(bind.stepper("Maximum words: %1", "maxWords", fewestWords, mostWords,
                    configField(&AIConfig::maxWords)),
                Qt::AlignLeft);
            add(bind.toggle("Include date", "includeDate", configField(&AIConfig::includeDate)));
            // No language model and no image labels here: the names come from the text.
            add(note("Runs on this computer. Names files from the text it can read in them, "
                     "with OCR for images and scans."));
        }

        void operator()(const OrganizeConfig&)
        {
            add(bind.textField(
                "Subfolder pattern", "template", configField(&OrganizeConfig::templateText)));
            add(bind.tokenPicker(configField(&OrganizeConfig::templateText)), Qt::AlignHCenter);
            auto* caption = note(QStringLiteral(
                "Creates subfolders inside the original folder. Paths cannot escape that folder."));
            caption->setAlignment(Qt::AlignHCenter);
            add(caption);
        }
    };

} // namespace

RuleEditor* makeRuleEditor(const Rule& rule, const ListImport& listImport, QWidget* parent)
{
    auto typeName = rule.kind.typeName();
    auto name = QString::fromUtf8(typeName.data(), qsizetype(typeName.size())) + "Editor";
    if (std::holds_alternative<ListConfig>(rule.kind.config)) {
        auto* editor = new ListRuleEditor(rule, listImport, parent);
        editor->setObjectName(name);
        return editor;
    }
    auto* editor = new KindEditor(rule, parent);
    editor->setObjectName(name);
    auto* layout = new QVBoxLayout(editor);
    layout->setContentsMargins(0, 0, 0, 0);
    // The AI and organize editors keep the style's own spacing; the others are set 10 apart.
    if (!std::holds_alternative<AIConfig>(rule.kind.config)
        && !std::holds_alternative<OrganizeConfig>(rule.kind.config))
        layout->setSpacing(spacing);
    FieldBinder bind(*editor);
    std::visit(KindLayout { bind, *layout }, rule.kind.config);
    layout->addStretch(1);
    return editor;
}

} // namespace sorvik
