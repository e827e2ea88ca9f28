#include "app/rules/list_rule_editor.h"

#include "app/store/list_file.h"
#include "tests/app/rules/editor_host.h"
#include "tests/support/temporary_folder.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    using testing::EditorHost;
    using testing::TemporaryFolder;

    // The list editor as the window makes it: files are read by the store's bounded reader,
    // and the dialog is replaced by the file the test chooses.
    struct Host : EditorHost {
        explicit Host(const Rule& rule)
            : EditorHost(new ListRuleEditor(
                rule, ListImport { [this](QWidget*) { return chosen; }, ListFile::read }))
        {
        }

        ListRuleEditor& list() const { return static_cast<ListRuleEditor&>(editor()); }
        QPlainTextEdit* text() const { return find<QPlainTextEdit>("text"); }
        QLabel* error() const { return find<QLabel>("importError"); }
        QLabel* count() const { return find<QLabel>("entryCount"); }

        std::string storedText() const
        {
            return std::get<ListConfig>(editor().rule().kind.config).text;
        }

        void import(const std::filesystem::path& path)
        {
            chosen = FileURL(path.string());
            find<QPushButton>("importList")->click();
        }

        void typeAtEnd(const QString& typed) const
        {
            text()->setFocus();
            text()->moveCursor(QTextCursor::End);
            QTest::keyClicks(text(), typed);
        }

        std::optional<FileURL> chosen;
    };

    Rule listRule(std::string text, bool byName = false)
    {
        Rule rule(RuleKind(ListConfig { std::move(text), byName }));
        rule.condition = ConditionGroup { true, {} };
        return rule;
    }

    // `count` lines of nine letters, with the last line break left off when `size` says so.
    std::string listOfSize(std::size_t size)
    {
        std::string text;
        text.reserve(size);
        while (text.size() + 10 <= size)
            text += "abcdefghi\n";
        text.append(size - text.size(), 'z');
        return text;
    }

    TEST(ListRuleEditor, ShowsItsControlsAndCountsTheEntries)
    {
        Host host(listRule("one\ntwo\nthree"));
        EXPECT_EQ(host.find<QCheckBox>("byName")->text(), "Match original names");
        EXPECT_EQ(host.find<QPushButton>("importList")->text(), "Import CSV\u2026");
        EXPECT_EQ(host.find<QLabel>("listCaption")->text(),
            "One column: new names in order. Two columns: original,new.");
        EXPECT_EQ(host.text()->height(), 100);
        EXPECT_FALSE(host.error()->isVisible());
        EXPECT_TRUE(host.count()->isVisible());
        EXPECT_EQ(host.count()->text(), "3 list entries");

        host.text()->clear();
        EXPECT_EQ(host.storedText(), "");
        EXPECT_EQ(host.count()->text(), "0 list entries");
        // Three columns are no list: the count goes until the text parses again.
        host.typeAtEnd("a,b,c");
        EXPECT_FALSE(host.count()->isVisible());
        EXPECT_FALSE(host.error()->isVisible());
        QTest::keyClick(host.text(), Qt::Key_Backspace);
        QTest::keyClick(host.text(), Qt::Key_Backspace);
        EXPECT_TRUE(host.count()->isVisible());
        EXPECT_EQ(host.count()->text(), "1 list entries");
    }

    TEST(ListRuleEditor, KeepsTheTextExactlyAsStoredWhileTyping)
    {
        std::string stored = "\uFEFF"
                             "a\u00A0b,c\u2028d\n"
                             "e";
        Host host(listRule(stored));
        host.typeAtEnd("f");
        EXPECT_EQ(host.storedText(), stored + "f");
        QTest::keyClick(host.text(), Qt::Key_Return);
        host.typeAtEnd("g");
        EXPECT_EQ(host.storedText(), stored + "f\ng");
        // One run of typing, one key.
        ASSERT_EQ(host.edits.size(), 3u);
        ASSERT_TRUE(host.edits.front().typingKey);
        EXPECT_EQ(host.edits.front().typingKey, host.edits.back().typingKey);
        EXPECT_EQ(host.lastRule().condition, listRule("").condition);
    }

    TEST(ListRuleEditor, ShowingAListWritesNothingAndKeepsTheCursor)
    {
        Host host(listRule("a\r\nb"));
        host.text()->setFocus();
        host.text()->moveCursor(QTextCursor::End);
        auto other = host.editor().rule();
        std::get<ListConfig>(other.kind.config).byName = true;
        host.editor().setRule(other);
        EXPECT_EQ(host.text()->textCursor().position(), 3);
        EXPECT_TRUE(host.edits.empty());
        // The file's own line breaks stay until the text is typed in.
        EXPECT_EQ(host.storedText(), "a\r\nb");
    }

    TEST(ListRuleEditor, ImportsUpToOneByteBelowTwoMillionAndRefusesMore)
    {
        TemporaryFolder folder;
        Host host(listRule("old", true));
        host.import(folder.createFile("largest.csv", listOfSize(1'999'999)));
        EXPECT_EQ(host.storedText().size(), 1'999'999u);
        EXPECT_TRUE(std::get<ListConfig>(host.editor().rule().kind.config).byName);
        EXPECT_EQ(host.list().error(), "");
        ASSERT_EQ(host.edits.size(), 1u);
        EXPECT_FALSE(host.edits.front().typingKey);
        QTRY_COMPARE(host.count()->text(), QString("200000 list entries"));

        host.import(folder.createFile("large.csv", listOfSize(2'000'000)));
        EXPECT_EQ(host.list().error(),
            "The file \u201Clarge.csv\u201D couldn\u2019t be opened because it is too large.");
        EXPECT_TRUE(host.error()->isVisible());
        EXPECT_EQ(host.error()->textFormat(), Qt::PlainText);
        EXPECT_EQ(host.edits.size(), 1u);
    }

    TEST(ListRuleEditor, TellsTheTwoFailuresApart)
    {
        TemporaryFolder folder;
        struct Case {
            const char* name;
            std::string bytes;
            QString error;
        };
        for (const auto& [name, bytes, error] : {
                 Case { "latin1.csv", "caf\xE9,cafe\n",
                     "The file \u201Clatin1.csv\u201D couldn\u2019t be opened using text "
                     "encoding Unicode (UTF-8)." },
                 Case { "quotes.csv", "\"open,new\n",
                     "Invalid CSV. Use one or two columns and balanced quotes." },
                 Case { "columns.csv", "a,b,c\n",
                     "Invalid CSV. Use one or two columns and balanced quotes." },
             }) {
            Host host(listRule("kept"));
            host.import(folder.createFile(name, bytes));
            EXPECT_EQ(host.list().error(), error) << name;
            EXPECT_EQ(host.storedText(), "kept");
            EXPECT_TRUE(host.edits.empty());
        }
    }

    TEST(ListRuleEditor, RefusesAFifoWithoutWaitingOnIt)
    {
        TemporaryFolder folder;
        auto fifo = folder / "names.csv";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        Host host(listRule("kept"));
        // Reading it would wait for a writer forever; the test would hang here.
        host.import(fifo);
        EXPECT_EQ(host.list().error(),
            "The file \u201Cnames.csv\u201D couldn\u2019t be opened because it isn\u2019t a "
            "regular file.");
        EXPECT_EQ(host.storedText(), "kept");
    }

    TEST(ListRuleEditor, ImportsTheFileByteForByteAndKeepsAnEarlierError)
    {
        TemporaryFolder folder;
        Host host(listRule("old\nlist\n"));
        host.import(folder / "absent.csv");
        auto failure = host.list().error();
        EXPECT_FALSE(failure.isEmpty());

        std::string bytes = "\xEF\xBB\xBF"
                            "a\xC2\xA0"
                            "b;\"x\"\"y\"\r\nc;d\r\n";
        host.import(folder.createFile("list.csv", bytes));
        EXPECT_EQ(host.storedText(), bytes);
        EXPECT_EQ(host.list().error(), failure);
        EXPECT_TRUE(host.error()->isVisible());
        EXPECT_EQ(host.count()->text(), "2 list entries");

        // Cancelling the dialog changes nothing.
        host.chosen.reset();
        host.find<QPushButton>("importList")->click();
        EXPECT_EQ(host.edits.size(), 1u);

        // A new editor, as after the card collapses and expands, starts without the error.
        Host again(host.editor().rule());
        EXPECT_EQ(again.list().error(), "");
        EXPECT_FALSE(again.error()->isVisible());
    }

    TEST(ListRuleEditor, MatchOriginalNamesChangesOnlyItself)
    {
        auto rule = listRule("a,b\n");
        Host host(rule);
        host.click("byName");
        auto expected = rule;
        std::get<ListConfig>(expected.kind.config).byName = true;
        EXPECT_EQ(host.lastRule(), expected);
        EXPECT_FALSE(host.edits.back().typingKey);
    }

    TEST(ListRuleEditor, WithoutAReaderImportsNothing)
    {
        EditorHost host(new ListRuleEditor(listRule("a"), ListImport {}));
        static_cast<ListRuleEditor&>(host.editor()).importFile();
        EXPECT_TRUE(host.edits.empty());
    }

} // namespace
} // namespace sorvik
