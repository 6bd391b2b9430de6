#include "XPCListener.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/FileDescriptor.h"
#include "OSLog/OSLog.h"
#include "OSLog/OSLogThrottle.h"
#include "XPCConnection.h"
#include "XPCConnectionCore.h"
#include "XPCEventLoop.h"
#include "XPCListenerDelegate.h"
#include "XPCServicePath.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

const OSLog& listenerLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "xpc");
    return *log;
}

// Every listener of the process, for invalidateAll. Never destroyed, like the loops that use it.
struct Listeners {
    std::mutex mutex;
    std::vector<std::weak_ptr<XPCListener>> listeners;
};

Listeners& listeners() {
    static auto* registry = new Listeners;
    return *registry;
}

bool fillAddress(sockaddr_un& address, const std::string& path) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool acceptsConnections(const std::string& path) {
    sockaddr_un address{};
    if (!fillAddress(address, path)) {
        return false;
    }
    const FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    // A listener whose queue is full still serves: it answers EAGAIN, not a refusal.
    return probe && (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address),
                               sizeof(address)) == 0 ||
                     errno == EAGAIN);
}

// Removes the socket file only while it is still the one this listener made, so a listener never
// takes away another server's socket.
void removeSocketFile(const std::filesystem::path& path, std::pair<dev_t, ino_t> made) {
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == made.first && now.st_ino == made.second) {
        ::unlink(path.c_str());
    }
}

}  // namespace

// The listening socket as the I/O loop sees it. Accepted sessions join the same loop, so the
// listener and all its peers cost one thread.
struct XPCListener::Shared final : XPCEventLoop::Handler, std::enable_shared_from_this<Shared> {
    explicit Shared(XPCPeerPolicy peerPolicy) : policy(std::move(peerPolicy)) {}

    std::mutex mutex;
    XPCPeerPolicy policy;
    std::weak_ptr<XPCListenerDelegate> delegate;
    std::weak_ptr<XPCListener> listener;
    std::shared_ptr<DispatchQueue> queue;
    std::string serviceName;
    std::chrono::milliseconds frameTimeLimit = XPCConnectionCore::kDefaultFrameTimeLimit;
    // Set before the socket is watched and let go on the loop thread once it no longer is.
    FileDescriptor listenFd;
    std::shared_ptr<XPCEventLoop> loop;
    XPCEventLoop::Token token = 0;
    bool listening = false;
    bool stopped = false;
    // The socket file this listener made: the only one it removes.
    std::pair<dev_t, ino_t> socketFile{};
    // Another user may connect as often as they like.
    OSLogThrottle refusalLog;

    void ready(std::uint32_t events) override;
    void expired() override {}
    XPCEventLoop::Interest interest() override {
        std::lock_guard lock(mutex);
        return {stopped, false, std::nullopt};
    }
    void ended() override {
        std::lock_guard lock(mutex);
        listenFd.reset();
        // The sessions already accepted hold the loop for as long as they need it.
        loop.reset();
    }
    void hand(FileDescriptor fd);
};

void XPCListener::Shared::ready(std::uint32_t) {
    // A bounded batch, so a flood of connections leaves the sessions their turn.
    for (int accepted = 0; accepted < 64; ++accepted) {
        FileDescriptor fd(
            ::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd) {
            return;
        }
        hand(std::move(fd));
    }
}

void XPCListener::Shared::hand(FileDescriptor fd) {
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        !policy.allows(credentials.uid)) {
        refusalLog.log("Refused a connection to " + serviceName + " from uid " +
                           std::to_string(credentials.uid) + " (pid " +
                           std::to_string(credentials.pid) + ")",
                       OSLogType::error, listenerLog());
        return;
    }
    std::chrono::milliseconds limit{};
    {
        std::lock_guard lock(mutex);
        limit = frameTimeLimit;
    }
    auto core = std::make_shared<XPCConnectionCore>(XPCConnectionCore::Role::server, serviceName,
                                                    std::filesystem::path(), loop, limit);
    core->adoptSocket(std::move(fd));
    auto connection = std::make_shared<XPCConnection>(std::move(core));
    queue->async([self = shared_from_this(), connection] {
        std::shared_ptr<XPCListenerDelegate> currentDelegate;
        std::shared_ptr<XPCListener> owner;
        {
            std::lock_guard lock(self->mutex);
            currentDelegate = self->delegate.lock();
            owner = self->listener.lock();
        }
        if (!currentDelegate || !owner ||
            !currentDelegate->shouldAcceptNewConnection(*owner, connection)) {
            connection->invalidate();
        }
    });
}

std::shared_ptr<XPCListener> XPCListener::create(const std::string& machServiceName,
                                                 XPCPeerPolicy policy) {
    return std::make_shared<XPCListener>(machServiceName, xpcSocketPath(machServiceName), true,
                                         std::move(policy));
}

std::shared_ptr<XPCListener> XPCListener::createForSocketPath(std::filesystem::path path,
                                                              XPCPeerPolicy policy) {
    auto name = path.filename().string();
    return std::make_shared<XPCListener>(std::move(name), std::move(path), false,
                                         std::move(policy));
}

XPCListener::XPCListener(std::string serviceName, std::filesystem::path path,
                         bool inServicesDirectory, XPCPeerPolicy policy)
    : m_serviceName(std::move(serviceName))
    , m_path(std::move(path))
    , m_inServicesDirectory(inServicesDirectory)
    , m_shared(std::make_shared<Shared>(std::move(policy))) {
    m_shared->serviceName = m_serviceName;
    m_shared->queue = DispatchQueue::create("xpc.listener." + m_serviceName);
}

XPCListener::~XPCListener() {
    invalidate();
}

void XPCListener::setDelegate(std::weak_ptr<XPCListenerDelegate> delegate) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->delegate = std::move(delegate);
}

bool XPCListener::resume() {
    auto fail = [this](const std::string& reason) {
        osLog("Cannot listen for " + m_serviceName + ": " + reason, OSLogType::fault,
              listenerLog());
        return false;
    };
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->listening || m_shared->stopped) {
            return m_shared->listening;
        }
        m_shared->listener = weak_from_this();
    }
    {
        std::lock_guard lock(listeners().mutex);
        std::erase_if(listeners().listeners,
                      [](const auto& listener) { return listener.expired(); });
        listeners().listeners.push_back(weak_from_this());
    }
    if (m_inServicesDirectory) {
        if (const auto prepared = prepareXPCServicesDirectory(m_path.parent_path()); !prepared) {
            return fail(prepared.error());
        }
    }
    struct stat existing {};
    if (::lstat(m_path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            return fail(m_path.string() + " exists and is not a socket");
        }
        // A socket that takes a connection belongs to a server that is running: never ours to
        // remove. One that refuses was left behind by an earlier run that did not end cleanly.
        if (acceptsConnections(m_path.string())) {
            return fail("another process serves " + m_path.string());
        }
        ::unlink(m_path.c_str());
    }

    // The socket is made under a temporary name and renamed into place once it has its owner
    // and mode, so no one can connect while it is still open to all.
    const std::string temporary = m_path.string() + "." + std::to_string(::getpid()) + ".new";
    sockaddr_un address{};
    if (!fillAddress(address, temporary)) {
        return fail("the socket path is too long");
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        return fail(std::strerror(errno));
    }
    ::unlink(temporary.c_str());
    std::string failure;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        failure = std::string("bind: ") + std::strerror(errno);
    } else if (::geteuid() == 0 &&
               ::chown(temporary.c_str(), m_shared->policy.socketOwner(), 0) != 0) {
        failure = std::string("chown: ") + std::strerror(errno);
    } else if (::chmod(temporary.c_str(), 0600) != 0) {
        failure = std::string("chmod: ") + std::strerror(errno);
    } else if (::listen(fd.get(), 128) != 0) {
        failure = std::string("listen: ") + std::strerror(errno);
    } else if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
        failure = std::string("rename: ") + std::strerror(errno);
    } else if (struct stat made{}; ::lstat(m_path.c_str(), &made) == 0) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->socketFile = {made.st_dev, made.st_ino};
    }
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return fail(failure);
    }
    auto loop = XPCEventLoop::create("xpc.listener." + m_serviceName);
    if (!loop) {
        std::pair<dev_t, ino_t> made;
        {
            std::lock_guard lock(m_shared->mutex);
            made = m_shared->socketFile;
        }
        removeSocketFile(m_path, made);
        return fail("no I/O loop");
    }
    const int descriptor = fd.get();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->listenFd = std::move(fd);
        m_shared->loop = loop;
        m_shared->listening = true;
    }
    // Watched outside the lock: the loop may call the listener at once.
    const auto token = loop->watch(descriptor, m_shared);
    std::lock_guard lock(m_shared->mutex);
    if (!token) {
        m_shared->listenFd.reset();
        m_shared->loop.reset();
        m_shared->listening = false;
        removeSocketFile(m_path, m_shared->socketFile);
        return fail("the socket cannot be watched");
    }
    m_shared->token = *token;
    if (m_shared->stopped) {
        // Invalidated meanwhile, before the loop could be told.
        loop->wake(*token);
    }
    return true;
}

void XPCListener::invalidateAll() {
    std::vector<std::shared_ptr<XPCListener>> live;
    {
        std::lock_guard lock(listeners().mutex);
        for (const auto& weak : listeners().listeners) {
            if (auto listener = weak.lock()) {
                live.push_back(std::move(listener));
            }
        }
    }
    for (const auto& listener : live) {
        listener->invalidate();
    }
}

void XPCListener::setFrameTimeLimit(std::chrono::milliseconds limit) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->frameTimeLimit = limit;
}

void XPCListener::invalidate() {
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->stopped) {
        return;
    }
    m_shared->stopped = true;
    if (m_shared->listening) {
        removeSocketFile(m_path, m_shared->socketFile);
    }
    if (m_shared->loop && m_shared->token != 0) {
        m_shared->loop->wake(m_shared->token);
    }
}

}  // namespace tarnwick
