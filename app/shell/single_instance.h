#pragma once

#include "app/shell/instance_request.h"

#include <QObject>

#include <chrono>
#include <filesystem>
#include <optional>

class QLocalServer;

namespace sorvik {

// One window program per user. The first start holds an exclusive lock (`flock`) on
// "instance.lock" and listens on the socket "instance", both in "$XDG_RUNTIME_DIR/sorvik"
// (a private folder of the user's, made when missing); a later start finds the lock held,
// hands its request to the socket and ends. The lock goes with its process, so a socket
// file left by a sorvik that crashed is known for stale and replaced, and of two starts at
// the same moment exactly one gets the lock: the other waits until that one listens. (Only
// one process ever watches the folders all the same: the watch store's own lock sees to it,
// whatever happens to the socket.)
//
// Handing over is synchronous and needs no application object, so that a start that only
// hands over never makes one, nor any store. The receiver answers each request once it has
// passed it on; a sender that hears no answer in time gives up.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr const char* socketName = "instance";
    static constexpr const char* lockName = "instance.lock";

    enum class Claim {
        /// This process is the one window program (or no private folder could be had, so
        /// there is nobody to ask).
        primary,
        /// The running window program took the request.
        handedOff,
        /// Another window program holds the lock but did not take the request in time.
        noAnswer,
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;
    Q_DISABLE_COPY_MOVE(SingleInstance)

    /// "$XDG_RUNTIME_DIR/sorvik" (a private folder in the temporary folder when the variable
    /// is not an absolute path), made with access for the user alone; nothing when it cannot
    /// be made, or is not a folder of the user's that only the user may enter.
    static std::optional<std::filesystem::path> folder();

    /// Becomes the window program, or hands `request` to the running one (with no request,
    /// only asks whether one runs). Tries again until `patience` has passed while another
    /// holds the lock but does not listen yet.
    Claim claim(const std::optional<InstanceRequest>& request,
        std::chrono::milliseconds patience = std::chrono::seconds(10));

    /// After a `primary` claim, with an application object: takes the requests of later
    /// starts. False when the socket cannot be made (then later starts find no answer).
    bool listen();
    bool isListening() const;
    /// Takes no more requests; before the application object goes.
    void stopListening();

    /// Hands `request` to the window program listening at `socketPath`, waiting at most
    /// `timeout` for its answer; false when nobody listens there or no answer came.
    static bool send(const std::filesystem::path& socketPath,
        const std::optional<InstanceRequest>& request, std::chrono::milliseconds timeout);

signals:
    /// A later start asked for something.
    void requestReceived(const sorvik::InstanceRequest& request);

private:
    bool tryLock(const std::filesystem::path& folder);
    void accept();

    std::optional<std::filesystem::path> m_folder;
    int m_lockDescriptor = -1;
    bool m_holdsLock = false;
    QLocalServer* m_server = nullptr;
};

} // namespace sorvik
