#pragma once

#include <QDialog>

#include <array>
#include <string>
#include <string_view>
#include <utility>

class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;

// The sheet that saves the current rule stack as a preset: a name, an icon and a colour, then
// "Save", which the store does (it trims the name, stores the preset and closes the sheet by
// clearing `showingSavePreset`; a failed save leaves the sheet open with its values, and the
// store's `message` says why). "Save" is enabled exactly while the name holds more than white
// space, so it is enabled exactly when the store saves. Below, while there are saved presets,
// each is listed with a "Delete" that removes it at once. "Cancel", Escape and closing the
// window leave everything as it was.
//
// The sheet follows the store's `showingSavePreset`: closing it clears the flag, and the flag
// cleared elsewhere (a save that worked) closes it. It is window-modal; open it with `open()`.
// It deletes itself once closed.
namespace sorvik {

class RenamerStore;

class SavePresetSheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SavePresetSheet)

public:
    static constexpr int sheetWidth = 420;
    static constexpr int padding = 24;
    static constexpr int spacing = 20;
    /// The saved-presets list grows with its rows up to this height, then scrolls.
    static constexpr int presetListMaximumHeight = 280;

    static constexpr std::string_view defaultSymbol = "slider.horizontal.3";
    static constexpr std::string_view defaultColor = "3478F6";
    /// The icon choices, in order; each is shown as its symbol and its name.
    static constexpr std::array<std::string_view, 6> symbols { "slider.horizontal.3", "camera",
        "doc", "music.note", "folder", "sparkles" };
    /// The colour choices, in order: the name shown and the value stored.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> colors { {
        { "Blue", "3478F6" },
        { "Green", "34A853" },
        { "Orange", "E88728" },
        { "Purple", "8B5CF6" },
    } };

    explicit SavePresetSheet(RenamerStore& store, QWidget* parent = nullptr, std::string name = {},
        std::string symbol = std::string(defaultSymbol),
        std::string color = std::string(defaultColor));

    const std::string& symbol() const { return m_symbol; }
    const std::string& color() const { return m_color; }

    /// Saves through the store when the name holds more than white space.
    void save();

private:
    void showSaveState();
    void showPresets();

    RenamerStore& m_store;
    std::string m_symbol;
    std::string m_color;
    QLineEdit* m_name;
    QComboBox* m_symbols;
    QComboBox* m_colors;
    QPushButton* m_save;
    QWidget* m_saved;
    QScrollArea* m_presetList;
    QVBoxLayout* m_savedRows;
};

} // namespace sorvik
