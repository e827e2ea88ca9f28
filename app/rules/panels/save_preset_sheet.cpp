#include "app/rules/panels/save_preset_sheet.h"

#include "app/store/renamer_store.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"
#include "app/style/wheel_guard.h"
#include "engine/model/text.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace sorvik {

namespace {

    constexpr int rowIconSize = 16;

    // A picker with its title on the left, as the window's other pickers have.
    QWidget* pickerRow(const QString& title, QComboBox* picker, QWidget* parent)
    {
        auto* row = new QWidget(parent);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(title, row);
        label->setBuddy(picker);
        layout->addWidget(label);
        layout->addWidget(picker, 1);
        picker->setAccessibleName(title);
        takeWheelOnlyWhenFocused(*picker);
        return row;
    }

    // The list is as tall as its rows until it reaches its cap, then scrolls; on a screen too
    // short for the sheet it is shorter still, down to a scroll area's least height.
    class PresetList : public QScrollArea {
    public:
        using QScrollArea::QScrollArea;

        QSize sizeHint() const override
        {
            auto hint = QScrollArea::sizeHint();
            if (widget())
                hint.setHeight(std::min(widget()->sizeHint().height() + 2 * frameWidth(),
                    SavePresetSheet::presetListMaximumHeight));
            return hint;
        }
        QSize minimumSizeHint() const override
        {
            auto least = QScrollArea::minimumSizeHint();
            return { least.width(), std::min(least.height(), sizeHint().height()) };
        }
    };

} // namespace

SavePresetSheet::SavePresetSheet(
    RenamerStore& store, QWidget* parent, std::string name, std::string symbol, std::string color)
    : QDialog(parent)
    , m_store(store)
    , m_symbol(std::move(symbol))
    , m_color(std::move(color))
{
    setObjectName(QStringLiteral("savePresetSheet"));
    setWindowTitle(QStringLiteral("Save Preset"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedWidth(sheetWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);

    auto* heading = new QLabel(QStringLiteral("Save Preset"), this);
    heading->setObjectName(QStringLiteral("heading"));
    heading->setFont(styleFont(TextStyle::title2, QFont::Bold));
    layout->addWidget(heading);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setPlaceholderText(QStringLiteral("Name"));
    m_name->setAccessibleName(QStringLiteral("Name"));
    m_name->setMaxLength(INT_MAX);
    m_name->setText(toQString(name));
    layout->addWidget(m_name);

    m_symbols = new QComboBox(this);
    m_symbols->setObjectName(QStringLiteral("icon"));
    for (auto choice : symbols)
        m_symbols->addItem(symbolIcon(choice), toQString(choice));
    layout->addWidget(pickerRow(QStringLiteral("Icon"), m_symbols, this));

    m_colors = new QComboBox(this);
    m_colors->setObjectName(QStringLiteral("color"));
    for (const auto& [shown, value] : colors)
        m_colors->addItem(toQString(shown));
    layout->addWidget(pickerRow(QStringLiteral("Color"), m_colors, this));

    // The pickers show the values the sheet was given; a value that is not among the choices
    // shows no entry and is saved as given until another is chosen.
    for (std::size_t index = 0; index < symbols.size(); ++index) {
        if (symbols[index] == m_symbol)
            m_symbols->setCurrentIndex(int(index));
    }
    m_colors->setCurrentIndex(-1);
    for (std::size_t index = 0; index < colors.size(); ++index) {
        if (colors[index].second == m_color)
            m_colors->setCurrentIndex(int(index));
    }
    if (std::find(symbols.begin(), symbols.end(), m_symbol) == symbols.end())
        m_symbols->setCurrentIndex(-1);

    auto* buttons = new QHBoxLayout();
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setDefault(true);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    m_saved = new QWidget(this);
    m_saved->setObjectName(QStringLiteral("savedPresets"));
    auto* savedLayout = new QVBoxLayout(m_saved);
    savedLayout->setContentsMargins(0, 0, 0, 0);
    savedLayout->setSpacing(spacing);
    auto* line = new QFrame(m_saved);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    savedLayout->addWidget(line);
    auto* savedHeading = new QLabel(QStringLiteral("Saved presets"), m_saved);
    savedHeading->setFont(styleFont(TextStyle::headline));
    savedLayout->addWidget(savedHeading);
    m_presetList = new PresetList(m_saved);
    m_presetList->setObjectName(QStringLiteral("presetList"));
    m_presetList->setFrameShape(QFrame::NoFrame);
    m_presetList->setWidgetResizable(true);
    m_presetList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget(m_presetList);
    m_savedRows = new QVBoxLayout(rows);
    m_savedRows->setContentsMargins(0, 0, 0, 0);
    m_presetList->setWidget(rows);
    savedLayout->addWidget(m_presetList);
    layout->addWidget(m_saved);

    showSaveState();
    showPresets();
    m_name->setFocus(Qt::OtherFocusReason);
    // Sized by its content as the style draws it, as tall as the screen lets it be (where
    // adjustSize would stop at two thirds of the screen).
    ensurePolished();
    layout->activate();
    resize(sizeHint());

    connect(m_name, &QLineEdit::textChanged, this, &SavePresetSheet::showSaveState);
    connect(m_symbols, &QComboBox::activated, this,
        [this](int index) { m_symbol = std::string(symbols[std::size_t(index)]); });
    connect(m_colors, &QComboBox::activated, this,
        [this](int index) { m_color = std::string(colors[std::size_t(index)].second); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &SavePresetSheet::save);
    connect(&m_store, &RenamerStore::presetsChanged, this, &SavePresetSheet::showPresets);
    connect(&m_store, &RenamerStore::showingSavePresetChanged, this, [this] {
        if (!m_store.showingSavePreset() && isVisible())
            accept();
    });
    connect(this, &QDialog::finished, this, [this] { m_store.setShowingSavePreset(false); });
}

void SavePresetSheet::save()
{
    auto name = toUtf8(m_name->text());
    if (text::trimmingWhitespaceAndNewlines(name).empty())
        return;
    m_store.savePreset(name, m_symbol, m_color);
}

void SavePresetSheet::showSaveState()
{
    // The store's own trim decides, so the button is on exactly when a press saves.
    m_save->setEnabled(!text::trimmingWhitespaceAndNewlines(toUtf8(m_name->text())).empty());
}

void SavePresetSheet::showPresets()
{
    while (auto* item = m_savedRows->takeAt(0)) {
        // The row of a "Delete" being clicked goes once the click is done with.
        if (auto* row = item->widget()) {
            row->hide();
            row->setParent(nullptr);
            row->deleteLater();
        }
        delete item;
    }
    const auto& presets = m_store.presets();
    m_saved->setVisible(!presets.empty());
    auto* rows = m_savedRows->parentWidget();
    for (const auto& preset : presets) {
        auto* row = new QWidget(rows);
        row->setObjectName(QStringLiteral("presetRow"));
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel(row);
        icon->setPixmap(
            symbolIcon(preset.symbol).pixmap(QSize(rowIconSize, rowIconSize), devicePixelRatioF()));
        layout->addWidget(icon);
        auto* name = plainLabel(toQString(preset.name), row);
        name->setObjectName(QStringLiteral("presetName"));
        layout->addWidget(name, 1);
        auto* remove = new QPushButton(QStringLiteral("Delete"), row);
        remove->setObjectName(QStringLiteral("deletePreset"));
        remove->setAutoDefault(false);
        remove->setAccessibleDescription(toQString(preset.name));
        connect(remove, &QPushButton::clicked, this,
            [this, id = preset.id] { m_store.deletePreset(id); });
        layout->addWidget(remove);
        m_savedRows->addWidget(row);
    }
    m_savedRows->addStretch(1);
    // The list's height is that of its rows, which its own layout does not hear of.
    m_presetList->updateGeometry();
    // The sheet's height follows its content.
    if (isVisible()) {
        layout()->activate();
        resize(sizeHint());
    }
}

} // namespace sorvik
