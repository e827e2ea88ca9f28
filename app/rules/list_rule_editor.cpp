#include "app/rules/list_rule_editor.h"

#include "app/rules/field_binder.h"
#include "app/rules/rule_titles.h"
#include "app/style/ui_style.h"
#include "engine/model/csv_parser.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <utility>

namespace sorvik {

namespace {

    constexpr int textHeight = 100;

    // The text as a text document holds it: every line break one paragraph break.
    std::string withDocumentLineBreaks(std::string_view text)
    {
        std::string result;
        result.reserve(text.size());
        for (std::size_t index = 0; index < text.size(); ++index) {
            if (text[index] == '\r') {
                if (index + 1 < text.size() && text[index + 1] == '\n')
                    ++index;
                result += '\n';
            } else if (text.substr(index, 3) == "\u2029") {
                index += 2;
                result += '\n';
            } else {
                result += text[index];
            }
        }
        return result;
    }

} // namespace

ListRuleEditor::ListRuleEditor(const Rule& rule, ListImport import, QWidget* parent)
    : RuleEditor(rule, parent)
    , m_import(std::move(import))
    , m_text(new QPlainTextEdit(this))
    , m_importButton(new QPushButton(QStringLiteral("Import CSV\u2026"), this))
    , m_error(plainLabel({}, this))
    , m_count(plainLabel({}, this))
    , m_countTimer(new QTimer(this))
    , m_textRun(nextTypingRun())
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    FieldBinder bind(*this);
    m_byName = bind.toggle(
        QStringLiteral("Match original names"), "byName", configField(&ListConfig::byName));
    layout->addWidget(m_byName);

    m_text->setObjectName(QStringLiteral("text"));
    m_text->setAccessibleName(toQString(title(RuleKind(ListConfig {}))));
    m_text->setFont(styleFont(TextStyle::monospacedBody));
    m_text->setFixedHeight(textHeight);
    m_text->setTabChangesFocus(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_text->setLineWidth(1);
    // A plain frame is drawn in the window-text colour, which the edit's own text never uses.
    followApplicationPalette(*m_text, [this] {
        auto palette = m_text->palette();
        palette.setColor(QPalette::WindowText, toneColor(Tone::quaternary));
        m_text->setPalette(palette);
    });
    m_text->installEventFilter(this);
    layout->addWidget(m_text);

    m_importButton->setObjectName(QStringLiteral("importList"));
    layout->addWidget(m_importButton, 0, Qt::AlignLeft);

    auto* caption = plainLabel(
        QStringLiteral("One column: new names in order. Two columns: original,new."), this);
    caption->setObjectName(QStringLiteral("listCaption"));
    caption->setFont(styleFont(TextStyle::caption));
    caption->setWordWrap(true);
    setTone(*caption, Tone::secondary);
    layout->addWidget(caption);

    // The error names a file: plain text, as it stands.
    m_error->setObjectName(QStringLiteral("importError"));
    m_error->setWordWrap(true);
    setTone(*m_error, Tone::red);
    m_error->hide();
    layout->addWidget(m_error);

    m_count->setObjectName(QStringLiteral("entryCount"));
    m_count->setFont(styleFont(TextStyle::caption));
    m_count->hide();
    layout->addWidget(m_count);

    m_countTimer->setSingleShot(true);
    m_countTimer->setInterval(countDelayMilliseconds);
    connect(m_countTimer, &QTimer::timeout, this, [this] { countEntries(); });
    connect(m_importButton, &QPushButton::clicked, this, [this] { importFile(); });
    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        m_shownText = shownText();
        if (auto changed = withField(this->rule(), &ListConfig::text, m_shownText))
            commit(std::move(*changed), typingKey(this->rule().id, "text", m_textRun));
    });

    showRule();
}

void ListRuleEditor::importFile()
{
    if (!m_import.chooseFile || !m_import.readFile)
        return;
    // The dialog runs an event loop of its own, in which the editor may go.
    QPointer<ListRuleEditor> self(this);
    auto chosen = m_import.chooseFile(this);
    if (!self || !chosen)
        return;
    std::string text;
    try {
        text = m_import.readFile(*chosen);
        CSVParser::parse(text);
    } catch (const std::exception& failure) {
        showError(toQString(failure.what()));
        return;
    }
    if (auto changed = withField(rule(), &ListConfig::text, std::move(text)))
        commit(std::move(*changed));
}

void ListRuleEditor::ruleShown()
{
    showText();
    auto text = fieldValue(rule(), &ListConfig::text);
    if (text && text->size() >= countDelayThreshold) {
        m_countTimer->start();
        return;
    }
    m_countTimer->stop();
    countEntries();
}

bool ListRuleEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::FocusIn)
        m_textRun = nextTypingRun();
    return RuleEditor::eventFilter(watched, event);
}

std::string ListRuleEditor::shownText() const
{
    // The raw text keeps U+00A0 and U+2028, which the plain text turns into a space and a
    // line break; only the paragraph breaks between lines are the document's own.
    auto raw = m_text->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, u'\n');
    return toUtf8(raw);
}

void ListRuleEditor::showText()
{
    const auto* config = std::get_if<ListConfig>(&rule().kind.config);
    // The echo of typing is the text as typed: one comparison, however long the list.
    if (!config || config->text == m_shownText)
        return;
    auto text = withDocumentLineBreaks(config->text);
    if (text == m_shownText)
        return;
    QSignalBlocker blocker(m_text);
    m_text->setPlainText(toQString(config->text));
    m_shownText = std::move(text);
    m_textRun = nextTypingRun();
}

void ListRuleEditor::countEntries()
{
    auto text = fieldValue(rule(), &ListConfig::text);
    if (!text)
        return;
    try {
        auto entries = CSVParser::parse(*text).size();
        setPlainText(*m_count, QStringLiteral("%1 list entries").arg(qulonglong(entries)));
        m_count->show();
    } catch (const CSVParser::ParseError&) {
        m_count->hide();
    }
}

void ListRuleEditor::showError(const QString& text)
{
    m_errorText = text;
    setPlainText(*m_error, text);
    m_error->show();
}

} // namespace sorvik
