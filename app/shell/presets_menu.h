#pragma once

#include "engine/model/preset.h"

#include <QMenu>

namespace sorvik {

class RenamerStore;

// The toolbar's "Presets" menu: one submenu per saved preset (its name; "Apply" and
// "Export…"), the "Preset Gallery" of the starter presets, "Import Preset…" (preset documents
// only), and "Save as Preset…". It is made again once the saved presets have changed, so it
// lists them as they are. Applying a preset replaces the whole rule stack with the preset's rules
// exactly as stored, ids included, in one write of the store's rules: one "Edit Rules" step to
// undo.
class PresetsMenu : public QMenu {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PresetsMenu)

public:
    static constexpr const char* titleText = "Presets";
    static constexpr const char* applyText = "Apply";
    static constexpr const char* exportText = "Export\u2026";
    static constexpr const char* galleryText = "Preset Gallery";
    static constexpr const char* importText = "Import Preset\u2026";
    static constexpr const char* saveText = "Save as Preset\u2026";

    explicit PresetsMenu(RenamerStore& store, QWidget* parent = nullptr);

    /// Replaces the store's rules with the preset's.
    static void apply(RenamerStore& store, const Preset& preset);

private:
    void rebuild();
    void importPreset();

    RenamerStore& m_store;
    bool m_rebuildPending = false;
};

} // namespace sorvik
