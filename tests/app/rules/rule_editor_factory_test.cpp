#include "app/rules/rule_editor_factory.h"

#include "app/rules/integer_field.h"
#include "app/rules/stepper.h"
#include "app/rules/token_picker.h"
#include "tests/app/rules/editor_host.h"

#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include <climits>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::EditorHost;
    using testing::EnglishNumbers;
    using testing::ruleOf;

    EditorHost hostFor(const Rule& rule, bool echo = true)
    {
        return EditorHost(makeRuleEditor(rule, ListImport {}), echo);
    }

    // What a control shows, as one text: a field its text, a toggle "on" or "off", a picker
    // its entry, a stepper its label.
    QString shown(const EditorHost& host, const char* name)
    {
        auto* control = host.find(name);
        if (auto* field = qobject_cast<QLineEdit*>(control))
            return field->text();
        if (auto* toggle = qobject_cast<QCheckBox*>(control))
            return toggle->isChecked() ? "on" : "off";
        if (auto* picker = qobject_cast<QComboBox*>(control))
            return picker->currentText();
        if (auto* stepper = qobject_cast<Stepper*>(control))
            return stepper->findChild<QLabel*>()->text();
        return "?";
    }

    struct EditCase {
        const char* name;
        RuleKind kind;
        std::function<void(const EditorHost&)> act;
        std::function<void(RuleKind::Config&)> change;
    };

    template <class Config>
    std::function<void(RuleKind::Config&)> set(std::function<void(Config&)> change)
    {
        return [change](RuleKind::Config& config) { change(std::get<Config>(config)); };
    }

    std::function<void(const EditorHost&)> typing(const char* field, const char* text)
    {
        return [=](const EditorHost& host) { host.type(field, QString::fromUtf8(text)); };
    }
    std::function<void(const EditorHost&)> entering(const char* field, const char* text)
    {
        return [=](const EditorHost& host) { host.enter(field, QString::fromUtf8(text)); };
    }
    std::function<void(const EditorHost&)> clicking(const char* control)
    {
        return [=](const EditorHost& host) { host.click(control); };
    }
    std::function<void(const EditorHost&)> choosing(const char* picker, int index)
    {
        return [=](const EditorHost& host) { host.choose(picker, index); };
    }

    class KindEditors : public ::testing::TestWithParam<EditCase> {
    protected:
        EnglishNumbers numbers;
    };

    TEST_P(KindEditors, EachControlChangesItsOneFieldAndNothingElse)
    {
        const auto& edit = GetParam();
        auto rule = ruleOf(edit.kind);
        auto host = hostFor(rule);
        edit.act(host);
        host.leaveField();
        ASSERT_FALSE(host.edits.empty());
        auto expected = rule;
        edit.change(expected.kind.config);
        EXPECT_EQ(host.lastRule(), expected);
        EXPECT_EQ(host.editor().rule(), expected);
    }

    INSTANTIATE_TEST_SUITE_P(AllKinds, KindEditors,
        ::testing::Values(
            EditCase { "find", ReplaceConfig {}, typing("find", "a b"),
                set<ReplaceConfig>([](auto& c) { c.find = "a b"; }) },
            EditCase { "replacement", ReplaceConfig {}, typing("replacement", "-"),
                set<ReplaceConfig>([](auto& c) { c.replacement = "-"; }) },
            EditCase { "regex", ReplaceConfig {}, clicking("regex"),
                set<ReplaceConfig>([](auto& c) { c.regex = true; }) },
            EditCase { "caseSensitive", ReplaceConfig {}, clicking("caseSensitive"),
                set<ReplaceConfig>([](auto& c) { c.caseSensitive = true; }) },
            EditCase { "scope", ReplaceConfig {}, choosing("scope", 2),
                set<ReplaceConfig>([](auto& c) { c.scope = ReplaceScope::both; }) },
            EditCase { "occurrence", ReplaceConfig {}, choosing("occurrence", 2),
                set<ReplaceConfig>([](auto& c) { c.occurrence = Occurrence::last; }) },
            EditCase { "first", RemoveConfig {}, entering("first", "-5"),
                set<RemoveConfig>([](auto& c) { c.first = -5; }) },
            EditCase { "last", RemoveConfig {}, entering("last", "2,000,000"),
                set<RemoveConfig>([](auto& c) { c.last = 2'000'000; }) },
            EditCase { "rangeStart", RemoveConfig {}, entering("rangeStart", "3"),
                set<RemoveConfig>([](auto& c) { c.rangeStart = 3; }) },
            EditCase { "rangeEnd", RemoveConfig {}, entering("rangeEnd", "9223372036854775807"),
                set<RemoveConfig>([](auto& c) { c.rangeEnd = INT64_MAX; }) },
            EditCase { "before", RemoveConfig {}, typing("before", "x"),
                set<RemoveConfig>([](auto& c) { c.before = "x"; }) },
            EditCase { "after", RemoveConfig {}, typing("after", " y "),
                set<RemoveConfig>([](auto& c) { c.after = " y "; }) },
            EditCase { "weird", CleanConfig {}, clicking("weird"),
                set<CleanConfig>([](auto& c) { c.weird = true; }) },
            EditCase { "accents", CleanConfig {}, clicking("accents"),
                set<CleanConfig>([](auto& c) { c.accents = true; }) },
            EditCase { "digits", CleanConfig {}, clicking("digits"),
                set<CleanConfig>([](auto& c) { c.digits = true; }) },
            EditCase { "brackets", CleanConfig {}, clicking("brackets"),
                set<CleanConfig>([](auto& c) { c.brackets = true; }) },
            EditCase { "emoji", CleanConfig {}, clicking("emoji"),
                set<CleanConfig>([](auto& c) { c.emoji = true; }) },
            EditCase { "tidy", CleanConfig {}, clicking("tidy"),
                set<CleanConfig>([](auto& c) { c.tidy = false; }) },
            EditCase { "caseStyle", CaseConfig {}, choosing("style", 0),
                set<CaseConfig>([](auto& c) { c.style = CaseStyle::keep; }) },
            EditCase { "pascal", CaseConfig {}, clicking("pascal"),
                set<CaseConfig>([](auto& c) { c.pascal = true; }) },
            EditCase { "spaceMode", SpaceConfig {}, choosing("mode", 4),
                set<SpaceConfig>([](auto& c) { c.mode = SpaceMode::dot; }) },
            EditCase { "insertText", InsertConfig {}, typing("text", "IMG_"),
                set<InsertConfig>([](auto& c) { c.text = "IMG_"; }) },
            EditCase { "insertToken", InsertConfig { "Photo_", InsertPosition::prefix, 0, {} },
                [](const EditorHost& host) { host.find<TokenPicker>("tokenPicker")->insert("#:3"); },
                set<InsertConfig>([](auto& c) { c.text = "Photo_{#:3}"; }) },
            EditCase { "position", InsertConfig {}, choosing("position", 3),
                set<InsertConfig>([](auto& c) { c.position = InsertPosition::afterText; }) },
            EditCase { "index", InsertConfig {}, entering("index", "-1"),
                set<InsertConfig>([](auto& c) { c.index = -1; }) },
            EditCase { "marker", InsertConfig {}, typing("marker", "_"),
                set<InsertConfig>([](auto& c) { c.marker = "_"; }) },
            EditCase { "placement", NumberingConfig {}, choosing("placement", 2),
                set<NumberingConfig>([](auto& c) { c.placement = NumberPlacement::replace; }) },
            EditCase { "start", NumberingConfig {}, entering("start", "0"),
                set<NumberingConfig>([](auto& c) { c.start = 0; }) },
            EditCase { "step", NumberingConfig {}, entering("step", "-2"),
                set<NumberingConfig>([](auto& c) { c.step = -2; }) },
            EditCase { "padding", NumberingConfig {}, entering("padding", "0"),
                set<NumberingConfig>([](auto& c) { c.padding = 0; }) },
            EditCase { "numberSeparator", NumberingConfig {},
                [](const EditorHost& host) {
                    host.type("separator", "");
                    QTest::keyClick(host.find<QLineEdit>("separator"), Qt::Key_Backspace);
                },
                set<NumberingConfig>([](auto& c) { c.separator = ""; }) },
            EditCase { "baseText", NumberingConfig {}, typing("baseText", "Trip"),
                set<NumberingConfig>([](auto& c) { c.baseText = "Trip"; }) },
            EditCase { "perFolder", NumberingConfig {}, clicking("perFolder"),
                set<NumberingConfig>([](auto& c) { c.perFolder = true; }) },
            EditCase { "numberStyle", NumberingConfig {}, choosing("style", 2),
                set<NumberingConfig>([](auto& c) { c.style = NumberStyle::roman; }) },
            EditCase { "source", DateConfig {}, choosing("source", 0),
                set<DateConfig>([](auto& c) { c.source = DateSource::none; }) },
            EditCase { "format", DateConfig {}, typing("format", "_HH"),
                set<DateConfig>([](auto& c) { c.format = "yyyy-MM-dd_HH"; }) },
            EditCase { "datePlacement", DateConfig {}, choosing("placement", 1),
                set<DateConfig>([](auto& c) { c.placement = Placement::suffix; }) },
            EditCase { "dateSeparator", DateConfig {}, typing("separator", "-"),
                set<DateConfig>([](auto& c) { c.separator = "_-"; }) },
            EditCase { "template", PatternConfig {}, typing("template", "_x"),
                set<PatternConfig>([](auto& c) { c.templateText = "{name}_x"; }) },
            EditCase { "patternToken", PatternConfig {},
                [](const EditorHost& host) { host.find<TokenPicker>("tokenPicker")->insert("ext"); },
                set<PatternConfig>([](auto& c) { c.templateText = "{name}{ext}"; }) },
            EditCase { "maxCharacters", LimitConfig {}, entering("maxCharacters", "0"),
                set<LimitConfig>([](auto& c) { c.maxCharacters = 0; }) },
            EditCase { "keepEnd", LimitConfig {}, clicking("keepEnd"),
                set<LimitConfig>([](auto& c) { c.keepEnd = true; }) },
            EditCase { "extMode", ExtConfig {}, choosing("mode", 3),
                set<ExtConfig>([](auto& c) { c.mode = ExtMode::change; }) },
            EditCase { "value", ExtConfig {}, typing("value", "jpeg"),
                set<ExtConfig>([](auto& c) { c.value = "jpeg"; }) },
            EditCase { "aiMode", AIConfig {}, choosing("mode", 2),
                set<AIConfig>([](auto& c) { c.mode = AIMode::photos; }) },
            EditCase { "maxWordsUp", AIConfig {}, clicking("stepUp"),
                set<AIConfig>([](auto& c) { c.maxWords = 7; }) },
            EditCase { "maxWordsDown", AIConfig {}, clicking("stepDown"),
                set<AIConfig>([](auto& c) { c.maxWords = 5; }) },
            EditCase { "includeDate", AIConfig {}, clicking("includeDate"),
                set<AIConfig>([](auto& c) { c.includeDate = false; }) },
            EditCase { "subfolders", OrganizeConfig { "" }, typing("template", "{ext}"),
                set<OrganizeConfig>([](auto& c) { c.templateText = "{ext}"; }) },
            EditCase { "organizeToken", OrganizeConfig { "a/" },
                [](const EditorHost& host) {
                    host.find<TokenPicker>("tokenPicker")->insert("exif.year");
                },
                set<OrganizeConfig>([](auto& c) { c.templateText = "a/{exif.year}"; }) }),
        [](const auto& test) { return std::string(test.param.name); });

    struct ShownCase {
        RuleKind kind;
        std::vector<std::pair<const char*, QString>> controls;
    };

    class DefaultsShown : public ::testing::TestWithParam<ShownCase> {
    protected:
        EnglishNumbers numbers;
    };

    TEST_P(DefaultsShown, ANewRuleShowsItsKindsDefaults)
    {
        auto host = hostFor(Rule(GetParam().kind));
        for (const auto& [name, text] : GetParam().controls)
            EXPECT_EQ(shown(host, name), text) << name;
        EXPECT_TRUE(host.edits.empty());
    }

    INSTANTIATE_TEST_SUITE_P(AllKinds, DefaultsShown,
        ::testing::Values(
            ShownCase { ReplaceConfig {},
                { { "find", "" }, { "replacement", "" }, { "regex", "off" },
                    { "caseSensitive", "off" }, { "scope", "name" }, { "occurrence", "all" } } },
            ShownCase { RemoveConfig {},
                { { "first", "0" }, { "last", "0" }, { "rangeStart", "0" }, { "rangeEnd", "0" },
                    { "before", "" }, { "after", "" } } },
            ShownCase { CleanConfig {},
                { { "weird", "off" }, { "accents", "off" }, { "digits", "off" },
                    { "brackets", "off" }, { "emoji", "off" }, { "tidy", "on" } } },
            ShownCase { CaseConfig {}, { { "style", "lowercase" }, { "pascal", "off" } } },
            ShownCase { SpaceConfig {}, { { "mode", "Use -" } } },
            ShownCase { InsertConfig {},
                { { "text", "" }, { "position", "prefix" }, { "index", "0" }, { "marker", "" } } },
            ShownCase { NumberingConfig {},
                { { "placement", "After name" }, { "start", "1" }, { "step", "1" },
                    { "padding", "3" }, { "separator", "_" }, { "baseText", "" },
                    { "perFolder", "off" }, { "style", "decimal" } } },
            ShownCase { DateConfig {},
                { { "source", "Date modified" }, { "format", "yyyy-MM-dd" },
                    { "placement", "Before name" }, { "separator", "_" } } },
            ShownCase { PatternConfig {}, { { "template", "{name}" } } },
            ShownCase { LimitConfig {}, { { "maxCharacters", "80" }, { "keepEnd", "off" } } },
            ShownCase { ExtConfig {}, { { "mode", "lowercase" }, { "value", "" } } },
            ShownCase { AIConfig {},
                { { "mode", "smart" }, { "maxWords", "Maximum words: 6" },
                    { "includeDate", "on" } } },
            ShownCase {
                OrganizeConfig {}, { { "template", "{date.created:yyyy}/{date.created:MM}" } } }),
        [](const auto& test) { return std::string(test.param.kind.typeName()); });

    TEST(KindEditors, TheOrganizeAndAIEditorsKeepTheStylesSpacingTheOthersTen)
    {
        auto spacing = [](const RuleKind& kind) {
            std::unique_ptr<RuleEditor> editor(makeRuleEditor(Rule(kind), ListImport {}));
            return editor->layout()->spacing();
        };
        int styles = QApplication::style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing);
        ASSERT_NE(styles, 10);
        EXPECT_EQ(spacing(OrganizeConfig {}), styles);
        EXPECT_EQ(spacing(AIConfig {}), styles);
        EXPECT_EQ(spacing(PatternConfig {}), 10);
        EXPECT_EQ(spacing(ExtConfig {}), 10);
    }

    QStringList entries(const EditorHost& host, const char* name)
    {
        QStringList texts;
        auto* picker = host.find<QComboBox>(name);
        for (int index = 0; index < picker->count(); ++index)
            texts.append(picker->itemText(index));
        return texts;
    }

    TEST(KindEditorPickers, ListEveryCaseInOrderByItsRawValue)
    {
        EXPECT_EQ(entries(hostFor(Rule(ReplaceConfig {})), "scope"),
            QStringList({ "name", "ext", "both" }));
        EXPECT_EQ(entries(hostFor(Rule(ReplaceConfig {})), "occurrence"),
            QStringList({ "all", "first", "last" }));
        EXPECT_EQ(entries(hostFor(Rule(CaseConfig {})), "style"),
            QStringList({ "Keep as is", "lowercase", "UPPERCASE", "Title Case", "Sentence case",
                "camelCase", "snake_case", "kebab-case" }));
        EXPECT_EQ(entries(hostFor(Rule(SpaceConfig {})), "mode"),
            QStringList({ "Keep", "Remove", "Use _", "Use -", "Use ." }));
        EXPECT_EQ(entries(hostFor(Rule(InsertConfig {})), "position"),
            QStringList({ "prefix", "suffix", "index", "afterText" }));
        EXPECT_EQ(entries(hostFor(Rule(NumberingConfig {})), "placement"),
            QStringList({ "Before name", "After name", "Replace name" }));
        EXPECT_EQ(entries(hostFor(Rule(NumberingConfig {})), "style"),
            QStringList({ "decimal", "alpha", "roman" }));
        EXPECT_EQ(entries(hostFor(Rule(DateConfig {})), "source"),
            QStringList({ "Off", "Date modified", "Date created", "Today" }));
        EXPECT_EQ(entries(hostFor(Rule(DateConfig {})), "placement"),
            QStringList({ "Before name", "After name" }));
        EXPECT_EQ(entries(hostFor(Rule(ExtConfig {})), "mode"),
            QStringList({ "Keep", "lowercase", "UPPERCASE", "Change to\u2026", "Remove" }));
        EXPECT_EQ(entries(hostFor(Rule(AIConfig {})), "mode"),
            QStringList({ "smart", "documents", "photos" }));
    }

    // Every field of every kind holding something other than its default.
    std::vector<RuleKind> otherSettings()
    {
        return { ReplaceConfig { "a", "b", true, true, ReplaceScope::ext, Occurrence::first },
            RemoveConfig { INT64_MIN, INT64_MAX, -1, 40, "(", ")" },
            CleanConfig { true, true, true, true, true, false },
            CaseConfig { CaseStyle::kebab, true }, SpaceConfig { SpaceMode::keep },
            InsertConfig { "{name}", InsertPosition::index, 7, "x" },
            NumberingConfig {
                NumberPlacement::prefix, -3, 0, 300, "", "Base", true, NumberStyle::alpha },
            DateConfig { DateSource::today, "", Placement::suffix, "" }, PatternConfig { "" },
            LimitConfig { -4, true }, ExtConfig { ExtMode::remove, "z" },
            AIConfig { AIMode::documents, 40, false }, OrganizeConfig { "{ext}" } };
    }

    TEST(KindEditors, ShowingRulesAndGoingBackWritesNothing)
    {
        EnglishNumbers numbers;
        auto defaults = RuleKind::defaults();
        auto others = otherSettings();
        std::erase_if(defaults,
            [](const RuleKind& kind) { return std::holds_alternative<ListConfig>(kind.config); });
        ASSERT_EQ(defaults.size(), others.size());
        for (std::size_t index = 0; index < defaults.size(); ++index) {
            auto rule = ruleOf(defaults[index]);
            auto host = hostFor(rule, false);
            auto other = rule;
            other.kind = others[index];
            // A new rule, an undo to it and a redo, with a focused field among them.
            host.editor().setRule(other);
            if (auto* field = host.editor().findChild<QLineEdit*>())
                field->setFocus();
            host.editor().setRule(rule);
            host.editor().setRule(other);
            host.leaveField();
            EXPECT_TRUE(host.edits.empty()) << rule.kind.typeName();
            EXPECT_EQ(host.editor().rule(), other);
        }
    }

    TEST(KindEditors, ShowTheStoredExtremesAsStoredAndKeepThem)
    {
        EnglishNumbers numbers;
        auto remove = ruleOf(RemoveConfig { INT64_MIN, INT64_MAX, 0, 0, {}, {} });
        auto host = hostFor(remove);
        EXPECT_EQ(shown(host, "first"), "-9,223,372,036,854,775,808");
        EXPECT_EQ(shown(host, "last"), "9,223,372,036,854,775,807");
        host.find("first")->setFocus();
        host.find("last")->setFocus();
        QTest::keyClick(host.find("last"), Qt::Key_Return);
        host.leaveField();
        EXPECT_TRUE(host.edits.empty());

        for (std::int64_t words : { 0, 40 }) {
            auto ai = hostFor(ruleOf(AIConfig { AIMode::smart, words, true }));
            EXPECT_EQ(shown(ai, "maxWords"), QString("Maximum words: %1").arg(words));
            EXPECT_TRUE(ai.edits.empty());
        }
    }

    TEST(KindEditors, TypedTextIsStoredExactlyAndEveryKeystrokeOfARunSharesItsKey)
    {
        // Longer than a line edit keeps by default, with characters that conversions lose.
        std::string find = "\uFEFF" + std::string(40'000, 'a') + "\u00A0b\tc";
        auto rule = ruleOf(ReplaceConfig { find, {} });
        auto host = hostFor(rule);
        EXPECT_EQ(host.find<QLineEdit>("find")->text().size(), 40'005);
        host.type("find", "xy");
        ASSERT_EQ(host.edits.size(), 2u);
        EXPECT_EQ(std::get<ReplaceConfig>(host.lastRule().kind.config).find, find + "xy");
        ASSERT_TRUE(host.edits[0].typingKey);
        EXPECT_EQ(host.edits[0].typingKey, host.edits[1].typingKey);
        EXPECT_NE(host.edits[0].typingKey->find(rule.id.text()), std::string::npos);
        // The echo of each keystroke left the cursor where the user typed.
        EXPECT_EQ(host.find<QLineEdit>("find")->cursorPosition(), 40'007);

        // Another field, and the same field after the focus came back, are runs of their own.
        host.type("replacement", "r");
        host.type("find", "z");
        ASSERT_EQ(host.edits.size(), 4u);
        EXPECT_NE(host.edits[2].typingKey, host.edits[1].typingKey);
        EXPECT_NE(host.edits[3].typingKey, host.edits[1].typingKey);
        EXPECT_NE(host.edits[3].typingKey, host.edits[2].typingKey);

        // An undo brings a text the field did not type: typing then is a new run.
        auto undone = host.edits[2].rule;
        host.editor().setRule(undone);
        EXPECT_EQ(host.find<QLineEdit>("find")->text().size(), 40'007);
        QTest::keyClicks(host.find<QLineEdit>("find"), "w");
        EXPECT_NE(host.edits.back().typingKey, host.edits[3].typingKey);
    }

    TEST(KindEditors, OnlyTypingCarriesATypingKey)
    {
        EnglishNumbers numbers;
        auto host = hostFor(ruleOf(InsertConfig {}));
        host.click("tokenPicker");
        host.find<TokenPicker>("tokenPicker")->insert("name");
        host.choose("position", 1);
        host.enter("index", "4");
        ASSERT_EQ(host.edits.size(), 3u);
        for (const auto& edit : host.edits)
            EXPECT_FALSE(edit.typingKey);
        // The inserted token shows in the field at once.
        EXPECT_EQ(host.find<QLineEdit>("text")->text(), "{name}");
    }

    TEST(KindEditors, IntegerInputThatIsNoNumberGoesBackAndWritesNothing)
    {
        EnglishNumbers numbers;
        auto host = hostFor(ruleOf(NumberingConfig {}));
        auto* start = host.find<QLineEdit>("start");
        for (const char* input : { "", "-", "abc", "1,0000", "99999999999999999999" }) {
            start->setFocus();
            start->selectAll();
            QTest::keyClick(start, Qt::Key_Backspace);
            QTest::keyClicks(start, input);
            host.leaveField();
            EXPECT_EQ(start->text(), "1") << input;
        }
        // Return with nothing left changes nothing either.
        start->setFocus();
        start->selectAll();
        QTest::keyClick(start, Qt::Key_Backspace);
        QTest::keyClick(start, Qt::Key_Return);
        EXPECT_EQ(start->text(), "1");
        EXPECT_TRUE(host.edits.empty());

        // A number in the locale's own form is stored and shown grouped.
        host.enter("start", "12345");
        EXPECT_EQ(start->text(), "12,345");
        ASSERT_EQ(host.edits.size(), 1u);
        EXPECT_EQ(std::get<NumberingConfig>(host.lastRule().kind.config).start, 12345);
    }

    TEST(KindEditors, IntegerFieldsFollowTheirLocale)
    {
        auto host = hostFor(ruleOf(RemoveConfig { 2'000'000, 0, 0, 0, {}, {} }));
        auto* first = host.find<QLineEdit>("first");
        first->setLocale(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(first->text(), "2.000.000");
        host.enter("first", "-1.234");
        EXPECT_EQ(std::get<RemoveConfig>(host.lastRule().kind.config).first, -1234);
    }

    TEST(KindEditors, TheWordStepperStaysWithinOneToTwelveWithoutClampingWhatIsStored)
    {
        struct Case {
            std::int64_t stored;
            bool canStepDown;
            bool canStepUp;
            std::int64_t down;
            std::int64_t up;
        };
        for (auto [stored, canStepDown, canStepUp, down, up] : {
                 Case { 1, false, true, 1, 2 },
                 Case { 12, true, false, 11, 12 },
                 Case { 0, false, true, 0, 1 },
                 Case { 40, true, false, 12, 40 },
                 Case { INT64_MIN, false, true, INT64_MIN, 1 },
                 Case { INT64_MAX, true, false, 12, INT64_MAX },
             }) {
            auto rule = ruleOf(AIConfig { AIMode::photos, stored, false });
            auto host = hostFor(rule, false);
            EXPECT_EQ(host.find<QToolButton>("stepDown")->isEnabled(), canStepDown) << stored;
            EXPECT_EQ(host.find<QToolButton>("stepUp")->isEnabled(), canStepUp) << stored;
            auto* stepper = host.find<Stepper>("maxWords");
            stepper->step(-1);
            EXPECT_EQ(std::get<AIConfig>(host.editor().rule().kind.config).maxWords, down);
            host.editor().setRule(rule);
            stepper->step(1);
            EXPECT_EQ(std::get<AIConfig>(host.editor().rule().kind.config).maxWords, up);
            // Only the count changed.
            EXPECT_EQ(std::get<AIConfig>(host.editor().rule().kind.config).mode, AIMode::photos);
        }
    }

    TEST(KindEditors, ShowEveryControlWhateverTheOtherFields)
    {
        auto insert = hostFor(ruleOf(InsertConfig { "", InsertPosition::prefix, 0, "" }));
        EXPECT_TRUE(insert.find("index")->isVisible());
        EXPECT_TRUE(insert.find("marker")->isVisible());
        auto date
            = hostFor(ruleOf(DateConfig { DateSource::none, "yyyy", Placement::prefix, "_" }));
        for (const char* name : { "format", "placement", "separator" })
            EXPECT_TRUE(date.find(name)->isVisible()) << name;
        auto extRule = ruleOf(ExtConfig { .mode = ExtMode::keep, .value = "x" });
        auto ext = hostFor(extRule);
        EXPECT_TRUE(ext.find("value")->isVisible());
        // Switching the mode there and back keeps the value.
        ext.choose("mode", 4);
        ext.choose("mode", 0);
        ASSERT_EQ(ext.edits.size(), 2u);
        EXPECT_EQ(ext.lastRule(), extRule);
        EXPECT_EQ(shown(ext, "value"), "x");
    }

    TEST(KindEditors, AnEditorShowsAndWritesOnlyItsOwnKind)
    {
        auto rule = ruleOf(ReplaceConfig { "a", {} });
        auto host = hostFor(rule, false);
        auto other = rule;
        other.kind = PatternConfig { "{ext}" };
        host.editor().setRule(other);
        EXPECT_EQ(shown(host, "find"), "a");
        host.type("find", "b");
        host.click("regex");
        EXPECT_TRUE(host.edits.empty());
        EXPECT_EQ(host.editor().rule(), other);
    }

    TEST(KindEditors, TheNotesSayWhatThisBuildDoes)
    {
        auto ai = hostFor(Rule(AIConfig {}));
        EXPECT_EQ(ai.find<QLabel>("note")->text(),
            "Runs on this computer. Names files from the text it can read in them, with OCR for "
            "images and scans.");
        EXPECT_EQ(ai.find<QLabel>("note")->textFormat(), Qt::PlainText);
        auto organize = hostFor(Rule(OrganizeConfig {}));
        EXPECT_EQ(organize.find<QLabel>("note")->text(),
            "Creates subfolders inside the original folder. Paths cannot escape that folder.");
    }

    TEST(KindEditors, FieldsAreNamedForThoseWhoCannotSeeTheirPlaceholder)
    {
        auto host = hostFor(Rule(RemoveConfig {}));
        auto* before = host.find<QLineEdit>("before");
        EXPECT_EQ(before->placeholderText(), "Remove before text");
        EXPECT_EQ(before->accessibleName(), "Remove before text");
        EXPECT_EQ(before->toolTip(), "Remove before text");
        EXPECT_EQ(host.find<QLineEdit>("rangeStart")->accessibleName(), "Range start (0-based)");
        EXPECT_EQ(host.find<QLineEdit>("rangeStart")->width(), 70);
        auto ai = hostFor(Rule(AIConfig {}));
        EXPECT_EQ(ai.find<QComboBox>("mode")->accessibleName(), "Mode");
        EXPECT_EQ(ai.find<QToolButton>("stepUp")->accessibleName(), "Increment");
    }

} // namespace
} // namespace sorvik
