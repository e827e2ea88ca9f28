#pragma once

#include "app/shell/updater.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <optional>

namespace sorvik {

// The windows of update checks: one message window at a time, never modal, so that the
// window and the settings stay usable while a check runs. The user's check shows
// "Checking…", then its outcome in the same place. An update found by a check in the
// background while no window of sorvik shows (watching in the background) waits until one
// is shown: nothing pops up out of a program the user did not open.
class UpdateWindows : public QObject, public UpdateUserDriver {
    Q_OBJECT

public:
    static constexpr const char* checkingText = "Checking for updates\u2026";
    static constexpr const char* upToDateText = "You\u2019re up to date.";
    static constexpr const char* newestVersionText = "sorvik %1 is the newest version.";
    static constexpr const char* updateFoundText = "A new version of sorvik is available.";
    static constexpr const char* versionsText = "sorvik %1 is available. You have %2.";
    static constexpr const char* openPageText = "Open Download Page";
    static constexpr const char* notNowText = "Not Now";
    static constexpr const char* checkFailedText = "sorvik couldn\u2019t check for updates.";

    explicit UpdateWindows(QObject* parent = nullptr);
    ~UpdateWindows() override;
    Q_DISABLE_COPY_MOVE(UpdateWindows)

    void showChecking(std::function<void()> cancel) override;
    void showUpToDate(const std::string& currentVersion) override;
    void showUpdateFound(const AvailableUpdate& update, bool background) override;
    void showCheckFailed(const std::string& reason) override;
    void showUnavailable(const std::string& reason) override;
    void dismiss() override;

    /// The window showing now; null when none does.
    QMessageBox* window() const { return m_box.data(); }
    /// Whether an update found in the background waits for a window to show.
    bool hasWaitingUpdate() const { return m_waiting.has_value(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Deletes the window showing and forgets a waiting update: at quit, or with this object.
    void release();
    /// Replaces the window showing by a new one.
    QMessageBox* present(int icon, const QString& text, const QString& informative);

    QPointer<QMessageBox> m_box;
    std::optional<AvailableUpdate> m_waiting;
};

} // namespace sorvik
