#include "SingleInstance.h"

#include "Logging/LogHub.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr std::string_view kRequest = "activate\n";
constexpr std::string_view kAnswer = "ok\n";
// A peer that sends more than a request, or nothing for this long, is dropped.
constexpr qint64 kLongestRequest = 64;
constexpr int kRequestTimeLimitMs = 5000;

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The folder as this user's own: made when missing, and refused when it is a link, not a folder,
// or another user's (under /tmp anyone could have made it first).
bool isOwnFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 022) == 0;
}

}  // namespace

SingleInstance::SingleInstance(std::filesystem::path folder) : m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server != nullptr) {
        m_server->close();  // removes the socket file
    }
    if (m_lock >= 0) {
        ::close(m_lock);  // and with it the lock
    }
}

std::filesystem::path SingleInstance::defaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::filesystem::path(runtime) / "tarnwick";
    }
    return std::filesystem::path("/tmp") / ("tarnwick-" + std::to_string(::geteuid()));
}

SingleInstance::Role SingleInstance::claim(std::chrono::milliseconds limit) {
    if (!isOwnFolder(m_folder)) {
        LogHub::warning("No folder of this user's at " + m_folder.string() +
                        "; running without the one-instance guard");
        return Role::first;
    }
    const std::filesystem::path lockPath = m_folder / "instance.lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        LogHub::warning("Cannot open " + lockPath.string() + ": " + std::strerror(errno) +
                        "; running without the one-instance guard");
        return Role::first;
    }
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            m_lock = lock;
            return Role::first;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(lock);
            return Role::first;
        }
        if (forward(std::chrono::milliseconds(millisecondsUntil(deadline)))) {
            ::close(lock);
            return Role::forwarded;
        }
        if (Clock::now() >= deadline) {
            ::close(lock);
            return Role::unanswered;
        }
        // The holder is starting and not listening yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool SingleInstance::forward(std::chrono::milliseconds limit) const {
    const std::string path = socketPath().string();
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int peer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (peer < 0) {
        return false;
    }
    const auto deadline = Clock::now() + std::max(limit, std::chrono::milliseconds(500));
    bool answered = false;
    if (::connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(peer, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(kRequest.size())) {
        std::string answer;
        pollfd readable{peer, POLLIN, 0};
        while (answer.size() < kAnswer.size() &&
               ::poll(&readable, 1, millisecondsUntil(deadline)) > 0) {
            char buffer[8];
            const ssize_t count = ::recv(peer, buffer, sizeof(buffer), 0);
            if (count <= 0) {
                break;
            }
            answer.append(buffer, static_cast<std::size_t>(count));
        }
        answered = answer == kAnswer;
    }
    ::close(peer);
    return answered;
}

bool SingleInstance::listen(std::function<void()> activate) {
    if (m_lock < 0) {
        return false;  // without the lock the socket may be another instance's
    }
    m_activate = std::move(activate);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = QString::fromStdString(socketPath().string());
    // Left by an instance that crashed: the lock says none runs now.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        LogHub::error("Cannot listen on " + socketPath().string() + ": " +
                      m_server->errorString().toStdString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QTimer::singleShot(kRequestTimeLimitMs, peer, [peer] { peer->abort(); });
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->bytesAvailable() > kLongestRequest) {
                    peer->abort();
                    return;
                }
                if (!peer->canReadLine()) {
                    return;
                }
                if (peer->readLine(kLongestRequest).toStdString() != kRequest) {
                    peer->abort();
                    return;
                }
                peer->write(kAnswer.data(), static_cast<qint64>(kAnswer.size()));
                peer->disconnectFromServer();
                if (m_activate) {
                    m_activate();
                }
            });
        }
    });
    return true;
}

}  // namespace tarnwick
