#include "app/shell/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    /// The answer of a receiver that has passed a request on.
    constexpr char acknowledgement = '\x06';
    /// How long a receiver waits for a sender's whole frame.
    constexpr std::chrono::seconds receiveTimeout { 30 };

    /// Makes `path` a folder only the user may enter, or checks that it is one.
    bool isPrivateFolder(const std::filesystem::path& path)
    {
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat status { };
        return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)
            && status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
    }

    QString qtPath(const std::filesystem::path& path)
    {
        return QString::fromLocal8Bit(path.c_str());
    }

    /// One sender's connection: reads its frame, passes the request on, answers, ends.
    class Receiver : public QObject {
    public:
        Receiver(QLocalSocket* socket, SingleInstance& instance)
            : QObject(socket)
            , m_socket(socket)
            , m_instance(instance)
        {
            connect(socket, &QLocalSocket::readyRead, this, &Receiver::read);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            m_timeout.setSingleShot(true);
            connect(&m_timeout, &QTimer::timeout, socket, &QLocalSocket::abort);
            m_timeout.start(receiveTimeout);
            read();
        }

    private:
        void read()
        {
            m_buffer += m_socket->readAll().toStdString();
            if (m_buffer.size() < InstanceRequestFrame::headerSize)
                return;
            auto length = InstanceRequestFrame::bodyLength(m_buffer);
            if (length > InstanceRequestFrame::sizeLimit) {
                m_socket->abort();
                return;
            }
            if (m_buffer.size() < InstanceRequestFrame::headerSize + length)
                return;
            m_timeout.stop();
            auto request = InstanceRequestFrame::decode(
                std::string_view(m_buffer).substr(InstanceRequestFrame::headerSize, length));
            m_buffer.clear();
            if (!request) {
                m_socket->abort();
                return;
            }
            disconnect(m_socket, &QLocalSocket::readyRead, this, &Receiver::read);
            emit m_instance.requestReceived(*request);
            m_socket->write(&acknowledgement, 1);
            m_socket->disconnectFromServer();
        }

        QLocalSocket* m_socket;
        SingleInstance& m_instance;
        std::string m_buffer;
        QTimer m_timeout;
    };

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance()
{
    stopListening();
    if (m_lockDescriptor >= 0)
        ::close(m_lockDescriptor);
}

std::optional<std::filesystem::path> SingleInstance::folder()
{
    std::filesystem::path runtime;
    if (const char* value = std::getenv("XDG_RUNTIME_DIR"); value && value[0] == '/') {
        runtime = value;
    } else {
        runtime = std::filesystem::path(QDir::tempPath().toStdString())
            / ("sorvik-runtime-" + std::to_string(::getuid()));
        if (!isPrivateFolder(runtime))
            return std::nullopt;
    }
    auto folder = runtime / "sorvik";
    if (!isPrivateFolder(folder))
        return std::nullopt;
    return folder;
}

bool SingleInstance::tryLock(const std::filesystem::path& folder)
{
    if (m_lockDescriptor < 0) {
        m_lockDescriptor
            = ::open((folder / lockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_lockDescriptor < 0)
            return false;
    }
    m_holdsLock = ::flock(m_lockDescriptor, LOCK_EX | LOCK_NB) == 0;
    return m_holdsLock;
}

SingleInstance::Claim SingleInstance::claim(
    const std::optional<InstanceRequest>& request, std::chrono::milliseconds patience)
{
    m_folder = folder();
    if (!m_folder)
        return Claim::primary;
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        if (tryLock(*m_folder))
            return Claim::primary;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (send(*m_folder / socketName, request, std::max(left, std::chrono::milliseconds(1))))
            return Claim::handedOff;
        if (std::chrono::steady_clock::now() >= deadline)
            return Claim::noAnswer;
        // The holder of the lock is still starting, or has just quit.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool SingleInstance::send(const std::filesystem::path& socketPath,
    const std::optional<InstanceRequest>& request, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto remaining = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(left.count(), 1));
    };
    QLocalSocket socket;
    socket.connectToServer(qtPath(socketPath));
    if (!socket.waitForConnected(std::min(remaining(), 1000)))
        return false;
    if (!request) {
        // Only asking: an answered connection is a running sorvik.
        socket.disconnectFromServer();
        return true;
    }
    auto frame = InstanceRequestFrame::encode(*request);
    socket.write(frame.data(), static_cast<qint64>(frame.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining()))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining()))
            return false;
    }
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == acknowledgement;
}

bool SingleInstance::listen()
{
    if (!m_folder || !m_holdsLock || m_server)
        return false;
    auto path = qtPath(*m_folder / socketName);
    // The lock is ours, so a socket file there was left by a sorvik that is gone.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

bool SingleInstance::isListening() const { return m_server && m_server->isListening(); }

void SingleInstance::stopListening()
{
    delete m_server;
    m_server = nullptr;
}

void SingleInstance::accept()
{
    while (auto* socket = m_server->nextPendingConnection())
        new Receiver(socket, *this);
}

} // namespace sorvik
