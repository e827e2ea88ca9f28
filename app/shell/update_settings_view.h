#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace sorvik {

class UpdaterStore;

// The settings tab "Updates": what the updater does, the switch for automatic checks, the
// button that checks now, the version line and, while there is one, why the updater could not
// start. The switch shows what the updater holds, read again every time the tab shows or the
// store announces a change: the tab keeps no copy of it.
class UpdateSettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 540;
    static constexpr int padding = 28;
    static constexpr int spacing = 20;
    static constexpr int wordmarkWidth = 132;
    static constexpr int wordmarkHeight = 28;

    static constexpr const char* titleText = "Always getting better.";
    static constexpr const char* explanationText
        = "sorvik checks for updates when you launch it and periodically while it is open. You "
          "choose when to install.";
    static constexpr const char* automaticText = "Automatically check for updates";
    static constexpr const char* checkText = "Check for Updates\u2026";

    explicit UpdateSettingsView(UpdaterStore& updater, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(UpdateSettingsView)

    /// "Version " + version + " · Build " + build, each empty when missing.
    static QString versionLine(const std::string& version, const std::string& build);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    UpdaterStore& m_updater;
    QCheckBox* m_automatic = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace sorvik
