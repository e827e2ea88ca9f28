#pragma once

#include "app/shell/build_info.h"
#include "app/shell/updater.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>

namespace sorvik {

// The front end of the updater, one for the process, made at launch. Made once, it decides
// once whether the updater starts: never under the test host (`testHostVariable`) nor in a
// build without an update key; otherwise it starts, and a failure to start is kept in
// `message` and never retried. Right after a start it checks in the background when automatic
// checks are on. It keeps no copy of the updater's settings: the Updates tab reads them from
// the updater every time it shows them.
class UpdaterStore : public QObject {
    Q_OBJECT

public:
    /// The store of the process, with the updater of this build and its windows; made on
    /// first use on the GUI thread.
    static UpdaterStore& shared();

    /// Takes `controller`, unstarted, and decides about starting it with the key of `build`.
    UpdaterStore(std::unique_ptr<Updater> controller, BuildInfo build, QObject* parent = nullptr);
    ~UpdaterStore() override;
    Q_DISABLE_COPY_MOVE(UpdaterStore)

    Updater& controller() const { return *m_controller; }
    /// Why the updater could not be started; nothing otherwise.
    const std::optional<std::string>& message() const { return m_message; }
    const BuildInfo& build() const { return m_build; }

    /// Writes the updater's setting, then tells its observers to read it again.
    void setAutomaticallyChecksForUpdates(bool enabled);
    /// The user's check ("Check for Updates…").
    void checkForUpdates();

signals:
    /// Something the store's observers show may have changed: read it again.
    void changed();

private:
    std::unique_ptr<Updater> m_controller;
    BuildInfo m_build;
    std::optional<std::string> m_message;
};

} // namespace sorvik
