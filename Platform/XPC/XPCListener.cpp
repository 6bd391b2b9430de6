#include "XPCListener.h"

#include "XPCConnection.h"
#include "XPCListenerDelegate.h"
#include "XPCServicePath.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/FileDescriptor.h"
#include "OSLog/OSLog.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

const OSLog& listenerLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "xpc");
    return *log;
}

// Every listener of the process, for invalidateAll. Never destroyed, like the threads that use it.
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

}  // namespace

struct XPCListener::Shared {
    explicit Shared(XPCPeerPolicy peerPolicy) : policy(std::move(peerPolicy)) {}

    std::mutex mutex;
    XPCPeerPolicy policy;
    std::weak_ptr<XPCListenerDelegate> delegate;
    std::weak_ptr<XPCListener> listener;
    std::shared_ptr<DispatchQueue> queue;
    std::string serviceName;
    FileDescriptor listenFd;
    FileDescriptor wakeFd;
    bool stopped = false;

    void run(const std::shared_ptr<Shared>& self);
    void hand(const std::shared_ptr<Shared>& self, FileDescriptor fd);
};

void XPCListener::Shared::run(const std::shared_ptr<Shared>& self) {
    for (;;) {
        pollfd descriptors[2] = {{listenFd.get(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        {
            std::lock_guard lock(mutex);
            if (stopped) {
                break;
            }
        }
        if (descriptors[0].revents & POLLIN) {
            FileDescriptor fd(
                ::accept4(listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (fd) {
                hand(self, std::move(fd));
            }
        }
    }
    std::lock_guard lock(mutex);
    listenFd.reset();
    wakeFd.reset();
}

void XPCListener::Shared::hand(const std::shared_ptr<Shared>& self, FileDescriptor fd) {
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        !policy.allows(credentials.uid)) {
        osLog("Refused a connection to " + serviceName + " from uid " +
                  std::to_string(credentials.uid) + " (pid " + std::to_string(credentials.pid) +
                  ")",
              OSLogType::error, listenerLog());
        return;
    }
    auto connection = XPCConnection::adoptSocket(std::move(fd), serviceName);
    queue->async([self, connection] {
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
        if (m_shared->listenFd || m_shared->stopped) {
            return m_shared->listenFd.valid();
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
        // Left behind by an earlier run that did not end cleanly.
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
    }
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return fail(failure);
    }
    FileDescriptor wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd) {
        ::unlink(m_path.c_str());
        return fail(std::strerror(errno));
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->listenFd = std::move(fd);
        m_shared->wakeFd = std::move(wakeFd);
    }
    try {
        std::thread([shared = m_shared] { shared->run(shared); }).detach();
    } catch (const std::system_error& error) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->listenFd.reset();
        m_shared->wakeFd.reset();
        ::unlink(m_path.c_str());
        return fail(error.what());
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

void XPCListener::invalidate() {
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->stopped) {
        return;
    }
    m_shared->stopped = true;
    if (m_shared->listenFd) {
        ::unlink(m_path.c_str());
        const std::uint64_t one = 1;
        // A full counter already wakes the thread.
        [[maybe_unused]] const auto written = ::write(m_shared->wakeFd.get(), &one, sizeof(one));
    }
}

}  // namespace tarnwick
