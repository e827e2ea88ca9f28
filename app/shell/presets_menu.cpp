#include "app/shell/presets_menu.h"

#include "app/store/preset_document.h"
#include "app/store/renamer_store.h"
#include "app/store/starter_presets.h"
#include "app/style/ui_style.h"

namespace sorvik {

PresetsMenu::PresetsMenu(RenamerStore& store, QWidget* parent)
    : QMenu(QString::fromLatin1(titleText), parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("presetsMenu"));
    rebuild();
    // Later, not at once: the presets may change inside one of this menu's own actions
    // ("Import Preset…"), which must not be deleted while it is being triggered.
    connect(&m_store, &RenamerStore::presetsChanged, this, [this] {
        if (m_rebuildPending)
            return;
        m_rebuildPending = true;
        QMetaObject::invokeMethod(this, &PresetsMenu::rebuild, Qt::QueuedConnection);
    });
}

void PresetsMenu::apply(RenamerStore& store, const Preset& preset) { store.setRules(preset.rules); }

void PresetsMenu::rebuild()
{
    m_rebuildPending = false;
    clear();
    for (const auto& preset : m_store.presets()) {
        auto* submenu = addMenu(escapeMnemonics(toQString(preset.name)));
        submenu->addAction(
            QString::fromUtf8(applyText), this, [this, preset] { apply(m_store, preset); });
        submenu->addAction(
            QString::fromUtf8(exportText), this, [this, preset] { m_store.exportPreset(preset); });
    }

    auto* gallery = addMenu(QString::fromUtf8(galleryText));
    gallery->setObjectName(QStringLiteral("presetGallery"));
    for (auto& preset : starterPresets()) {
        auto title = escapeMnemonics(toQString(preset.name));
        gallery->addAction(
            title, this, [this, preset = std::move(preset)] { apply(m_store, preset); });
    }

    addAction(QString::fromUtf8(importText), this, &PresetsMenu::importPreset);
    addSeparator();
    addAction(QString::fromUtf8(saveText), this, [this] { m_store.setShowingSavePreset(true); });
}

void PresetsMenu::importPreset()
{
    // Only preset documents are offered: a plain JSON file is not one.
    auto* dialogs = m_store.dialogs();
    if (!dialogs)
        return;
    if (auto chosen = dialogs->chooseFileToOpen({ PresetDocument::presetDocumentType() }))
        m_store.importPreset(*chosen);
}

} // namespace sorvik
