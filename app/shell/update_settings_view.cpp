#include "app/shell/update_settings_view.h"

#include "app/shell/brand_wordmark.h"
#include "app/shell/updater_store.h"
#include "app/style/brand_colors.h"
#include "app/style/brand_primary_button.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace sorvik {

UpdateSettingsView::UpdateSettingsView(UpdaterStore& updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
{
    setFixedWidth(fixedWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);

    layout->addWidget(new BrandWordmark(QSize(wordmarkWidth, wordmarkHeight), Qt::AlignLeft, this),
        0, Qt::AlignLeft);

    auto* title = new QLabel(QString::fromUtf8(titleText), this);
    title->setFont(styleFont(TextStyle::title2, QFont::DemiBold));
    layout->addWidget(title);

    auto* explanation = new QLabel(QString::fromUtf8(explanationText), this);
    explanation->setWordWrap(true);
    setTone(*explanation, Tone::secondary);
    layout->addWidget(explanation);

    m_automatic = new QCheckBox(QString::fromUtf8(automaticText), this);
    connect(m_automatic, &QCheckBox::toggled, this, [this](bool checked) {
        m_updater.setAutomaticallyChecksForUpdates(checked);
        // What the updater holds now, also when it could not keep the change.
        refresh();
    });
    layout->addWidget(m_automatic, 0, Qt::AlignLeft);

    auto* check = new BrandPrimaryButton(QString::fromUtf8(checkText), this);
    connect(check, &QPushButton::clicked, this, [this] { m_updater.checkForUpdates(); });
    layout->addWidget(check, 0, Qt::AlignLeft);

    const auto& build = m_updater.build();
    auto* version = plainLabel(versionLine(build.version, build.buildNumber), this);
    version->setFont(styleFont(TextStyle::caption));
    setTone(*version, Tone::secondary);
    layout->addWidget(version);

    m_message = plainLabel(QString(), this);
    m_message->setWordWrap(true);
    setTone(*m_message, Tone::secondary);
    layout->addWidget(m_message);
    layout->addStretch(1);

    applyBrandTint(*this);
    connect(&m_updater, &UpdaterStore::changed, this, &UpdateSettingsView::refresh);
    refresh();
}

QString UpdateSettingsView::versionLine(const std::string& version, const std::string& build)
{
    return QStringLiteral("Version ") + toQString(version) + QStringLiteral(" \u00B7 Build ")
        + toQString(build);
}

void UpdateSettingsView::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}

void UpdateSettingsView::refresh()
{
    {
        QSignalBlocker blocker(m_automatic);
        m_automatic->setChecked(m_updater.controller().automaticallyChecksForUpdates());
    }
    const auto& message = m_updater.message();
    setPlainText(*m_message, message ? toQString(*message) : QString());
    m_message->setVisible(message.has_value());
}

} // namespace sorvik
