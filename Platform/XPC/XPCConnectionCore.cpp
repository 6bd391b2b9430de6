#include "XPCConnectionCore.h"

#include "Foundation/Text.h"
#include "OSLog/OSLog.h"
#include "OSLog/OSLogThrottle.h"
#include "XPCFrameDecoder.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace tarnwick {

namespace {

// A peer that reads nothing while this much waits for it is not coming back.
constexpr std::size_t kMaximumBacklog = 8 << 20;

const OSLog& xpcLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "xpc");
    return *log;
}

// What a peer sends, it can send without end: its own text (a selector, a bad frame) is logged
// escaped and cut short, and each peer user gets at most one such line a second, whatever number
// of processes and connections it uses.
constexpr std::size_t kPeerTextLimit = 160;

void logAboutPeer(uid_t peer, const std::string& line) {
    static std::mutex mutex;
    // Never destroyed, as the log above. One entry per user allowed to connect.
    static auto* throttles = new std::map<uid_t, std::unique_ptr<OSLogThrottle>>;
    OSLogThrottle* throttle = nullptr;
    {
        std::lock_guard lock(mutex);
        auto& slot = (*throttles)[peer];
        if (!slot) {
            slot = std::make_unique<OSLogThrottle>();
        }
        throttle = slot.get();
    }
    throttle->log(line, OSLogType::error, xpcLog());
}

// Peers of the open server-side sessions that their service marked as registered, by service. Never
// destroyed: I/O loops may end their sessions while the process exits.
struct Peers {
    std::mutex mutex;
    std::multiset<std::pair<std::string, pid_t>> peers;
};

Peers& peers() {
    static auto* registry = new Peers;
    return *registry;
}

void readCredentials(int fd, pid_t& pid, uid_t& uid) {
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0) {
        pid = credentials.pid;
        uid = credentials.uid;
    }
}

}  // namespace

// A connected socket as the I/O loop sees it. Holds its connection until the loop lets it go.
struct XPCConnectionCore::Session final : XPCEventLoop::Handler {
    std::shared_ptr<XPCConnectionCore> core;
    std::shared_ptr<XPCEventLoop> loop;
    // Guarded by the connection's lock.
    FileDescriptor fd;
    XPCEventLoop::Token token = 0;
    bool closing = false;
    std::string outgoing;
    // Loop thread only.
    XPCFrameDecoder decoder;
    // When the first byte of the frame that is not complete yet arrived.
    std::optional<XPCEventLoop::Clock::time_point> frameStarted;
    bool finished = false;

    void ready(std::uint32_t events) override { core->sessionReady(*this, events); }
    void expired() override { core->sessionExpired(*this); }
    XPCEventLoop::Interest interest() override { return core->sessionInterest(*this); }
    void ended() override {
        // The connection may let go of its last holder here; the session is not used after.
        const auto owner = std::move(core);
        owner->endSession(*this);
    }
};

XPCConnectionCore::XPCConnectionCore(Role role, std::string label, std::filesystem::path socketPath,
                                     std::shared_ptr<XPCEventLoop> loop,
                                     std::chrono::milliseconds frameTimeLimit)
    : m_role(role)
    , m_label(std::move(label))
    , m_socketPath(std::move(socketPath))
    , m_queue(DispatchQueue::create("xpc.connection." + m_label))
    , m_loop(std::move(loop))
    , m_frameTimeLimit(frameTimeLimit) {}

XPCConnectionCore::~XPCConnectionCore() = default;

void XPCConnectionCore::adoptSocket(FileDescriptor fd) {
    std::lock_guard lock(m_mutex);
    readCredentials(fd.get(), m_peerPid, m_peerUid);
    m_adopted = std::move(fd);
}

void XPCConnectionCore::setExportedInterface(XPCInterface interface) {
    std::lock_guard lock(m_mutex);
    m_exportedInterface = std::move(interface);
}

void XPCConnectionCore::setExportedObject(std::shared_ptr<XPCExportedObject> object) {
    std::lock_guard lock(m_mutex);
    m_exportedObject = std::move(object);
}

void XPCConnectionCore::setRemoteObjectInterface(XPCInterface interface) {
    std::lock_guard lock(m_mutex);
    m_remoteInterface = std::move(interface);
}

void XPCConnectionCore::setInvalidationHandler(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_invalidationHandler = std::move(handler);
}

void XPCConnectionCore::setDeliveryQueue(std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(m_mutex);
    if (m_state == State::suspended) {
        m_deliveryQueue = std::move(queue);
    }
}

void XPCConnectionCore::setEventLoop(std::shared_ptr<XPCEventLoop> loop) {
    std::lock_guard lock(m_mutex);
    if (m_state == State::suspended) {
        m_loop = std::move(loop);
    }
}

void XPCConnectionCore::setInterruptionHandler(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_interruptionHandler = std::move(handler);
}

pid_t XPCConnectionCore::peerProcessIdentifier() const {
    std::lock_guard lock(m_mutex);
    return m_peerPid;
}

uid_t XPCConnectionCore::peerUserIdentifier() const {
    std::lock_guard lock(m_mutex);
    return m_peerUid;
}

bool XPCConnectionCore::isRegisteredPeer(pid_t pid, const std::string& serviceName) {
    std::lock_guard lock(peers().mutex);
    return peers().peers.count({serviceName, pid}) != 0;
}

void XPCConnectionCore::markPeerRegistered() {
    std::lock_guard lock(m_mutex);
    // A session that already ended has no peer to vouch for.
    if (m_role != Role::server || m_peerRegistered || !m_session || m_session->closing) {
        return;
    }
    m_peerRegistered = true;
    std::lock_guard registryLock(peers().mutex);
    peers().peers.insert({m_label, m_peerPid});
}

std::optional<std::chrono::steady_clock::time_point> XPCConnectionCore::lastCallTime() const {
    std::lock_guard lock(m_mutex);
    return m_lastCall;
}

void XPCConnectionCore::resume() {
    std::unique_lock lock(m_mutex);
    if (m_state != State::suspended) {
        return;
    }
    bool started = false;
    if (m_role == Role::server) {
        FileDescriptor fd = std::move(m_adopted);
        started = fd.valid() && startSessionLocked(std::move(fd));
    } else {
        started = connectLocked();
    }
    if (started) {
        return;
    }
    // Nothing to talk to: the connection is invalid from the start, as a connection to a service
    // that is not there is.
    m_state = State::invalidated;
    auto handler = std::move(m_invalidationHandler);
    auto exported = std::move(m_exportedObject);
    m_interruptionHandler = nullptr;
    lock.unlock();
    handlerQueue()->async([handler = std::move(handler), exported = std::move(exported)]() mutable {
        if (handler) {
            handler();
        }
    });
}

void XPCConnectionCore::invalidate() {
    std::unique_lock lock(m_mutex);
    if (m_state == State::invalidated) {
        return;
    }
    m_state = State::invalidated;
    if (m_session) {
        // The I/O loop ends the session and reports it, pending messages first.
        m_session->closing = true;
        wakeLocked();
        return;
    }
    auto handler = std::move(m_invalidationHandler);
    auto exported = std::move(m_exportedObject);
    m_interruptionHandler = nullptr;
    auto pending = std::move(m_pending);
    lock.unlock();
    handlerQueue()->async([handler = std::move(handler), exported = std::move(exported),
                           pending = std::move(pending)]() mutable {
        for (auto& [id, entry] : pending) {
            if (entry.error) {
                entry.error(XPCError::invalid());
            }
        }
        if (handler) {
            handler();
        }
    });
}

bool XPCConnectionCore::connectLocked() {
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = m_socketPath.string();
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        osLog("Cannot connect to " + path + ": " + std::strerror(errno), OSLogType::info, xpcLog());
        return false;
    }
    readCredentials(fd.get(), m_peerPid, m_peerUid);
    return startSessionLocked(std::move(fd));
}

bool XPCConnectionCore::startSessionLocked(FileDescriptor fd) {
    const int flags = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK);
    auto loop = m_loop ? m_loop : XPCEventLoop::create("xpc." + m_label);
    if (!loop) {
        return false;
    }
    auto session = std::make_shared<Session>();
    session->core = shared_from_this();
    session->loop = loop;
    const int descriptor = fd.get();
    session->fd = std::move(fd);
    const auto token = loop->watch(descriptor, session);
    if (!token) {
        // Never watched, so never ended by the loop: the cycle with this connection is undone here.
        session->core.reset();
        return false;
    }
    session->token = *token;
    m_session = session;
    m_state = State::active;
    return true;
}

void XPCConnectionCore::wakeLocked() {
    if (m_session) {
        m_session->loop->wake(m_session->token);
    }
}

bool XPCConnectionCore::writeLocked(const std::string& frame) {
    if (!m_session || m_session->closing) {
        return false;
    }
    Session& session = *m_session;
    std::size_t written = 0;
    if (session.outgoing.empty()) {
        // Written at once from the calling thread when the socket takes it: no thread hop.
        const ssize_t result =
            ::send(session.fd.get(), frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            session.closing = true;
            wakeLocked();
            return false;
        }
        written = result > 0 ? static_cast<std::size_t>(result) : 0;
        if (written == frame.size()) {
            return true;
        }
    }
    if (session.outgoing.size() + frame.size() - written > kMaximumBacklog) {
        osLog("The peer of " + m_label + " reads nothing; closing the connection", OSLogType::error,
              xpcLog());
        session.closing = true;
        wakeLocked();
        // A partly written frame would leave the stream torn; it is closed anyway.
        return false;
    }
    session.outgoing.append(frame, written, std::string::npos);
    wakeLocked();
    return true;
}

bool XPCConnectionCore::flushSession(Session& session) {
    while (!session.outgoing.empty()) {
        const ssize_t result = ::send(session.fd.get(), session.outgoing.data(),
                                      session.outgoing.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        session.outgoing.erase(0, static_cast<std::size_t>(result));
    }
    return true;
}

void XPCConnectionCore::invoke(const std::string& selector, Value::Array arguments,
                               XPCRemoteObjectProxy::ReplyHandler replyHandler,
                               XPCRemoteObjectProxy::ErrorHandler errorHandler) {
    std::unique_lock lock(m_mutex);
    if (m_remoteInterface && m_remoteInterface->method(selector) == nullptr) {
        lock.unlock();
        osLog("The remote interface has no method " + selector, OSLogType::fault, xpcLog());
        postError(std::move(errorHandler),
                  {XPCError::Code::sendFailed, "The remote interface has no method " + selector});
        return;
    }
    if (m_state == State::interrupted && !connectLocked()) {
        lock.unlock();
        postError(std::move(errorHandler), XPCError::interrupted());
        return;
    }
    if (m_state != State::active) {
        lock.unlock();
        postError(std::move(errorHandler), XPCError::invalid());
        return;
    }
    XPCMessage message;
    message.kind = XPCMessage::Kind::invoke;
    message.version = m_remoteInterface ? m_remoteInterface->version() : 0;
    message.id = m_nextMessageId++;
    message.selector = selector;
    message.arguments = std::move(arguments);
    message.expectsReply = static_cast<bool>(replyHandler);
    const auto frame = message.encodeFrame();
    if (!frame) {
        lock.unlock();
        osLog("Not sent on " + m_label + ": " + frame.error(), OSLogType::error, xpcLog());
        postError(std::move(errorHandler),
                  {XPCError::Code::sendFailed, "The message is too large to send."});
        return;
    }
    if (replyHandler) {
        m_pending.emplace(message.id, Pending{std::move(replyHandler), errorHandler});
    }
    if (!writeLocked(*frame)) {
        m_pending.erase(message.id);
        lock.unlock();
        postError(std::move(errorHandler),
                  {XPCError::Code::sendFailed, "The message could not be sent."});
    }
}

void XPCConnectionCore::sendAnswer(XPCMessage message) {
    const auto frame = message.encodeFrame();
    std::lock_guard lock(m_mutex);
    // A write that fails ends the session, and the peer learns of it from that; nothing more to do.
    if (frame) {
        (void)writeLocked(*frame);
    } else if (m_session) {
        // An answer too large to send: the peer gets an error rather than nothing.
        XPCMessage error;
        error.kind = XPCMessage::Kind::error;
        error.id = message.id;
        error.version = message.version;
        error.description = "The reply is too large to send.";
        // A short error always fits a frame.
        (void)writeLocked(error.encodeFrame().value());
    }
}

void XPCConnectionCore::postError(XPCRemoteObjectProxy::ErrorHandler handler, XPCError error) {
    if (!handler) {
        return;
    }
    handlerQueue()->async(
        [handler = std::move(handler), error = std::move(error)] { handler(error); });
}

void XPCConnectionCore::sessionReady(Session& session, std::uint32_t events) {
    if (session.finished) {
        return;
    }
    if (events & EPOLLOUT) {
        std::lock_guard lock(m_mutex);
        if (!flushSession(session)) {
            session.closing = true;
        }
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) == 0) {
        return;
    }
    // One read a round, so a peer that sends without pause gets its turn like the others.
    std::array<char, 64 * 1024> buffer;
    const ssize_t received = ::recv(session.fd.get(), buffer.data(), buffer.size(), 0);
    if (received == 0) {
        if (const auto finished = session.decoder.finish(); !finished) {
            logAboutPeer(m_peerUid, "The peer of " + m_label + " left: " +
                                        printableText(finished.error(), kPeerTextLimit));
        }
        session.finished = true;
        return;
    }
    if (received < 0) {
        session.finished = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
        return;
    }
    std::vector<XPCMessage> messages;
    const auto fed = session.decoder.feed(
        std::string_view(buffer.data(), static_cast<std::size_t>(received)), messages);
    if (session.decoder.bufferedSize() == 0) {
        session.frameStarted.reset();
    } else if (!session.frameStarted || !messages.empty()) {
        // The bytes left over begin a new frame: its time starts now.
        session.frameStarted = XPCEventLoop::Clock::now();
    }
    for (auto& message : messages) {
        handleMessage(std::move(message));
    }
    if (!fed) {
        logAboutPeer(m_peerUid, "Closing " + m_label + ": the peer sent " +
                                    printableText(fed.error(), kPeerTextLimit));
        session.finished = true;
    }
}

void XPCConnectionCore::sessionExpired(Session& session) {
    if (!session.frameStarted || session.finished) {
        return;
    }
    osLog("Closing " + m_label + ": the peer left a frame unfinished for more than " +
              std::to_string(m_frameTimeLimit.count()) + " ms (" +
              std::to_string(session.decoder.bufferedSize()) + " bytes of it arrived)",
          OSLogType::error, xpcLog());
    session.finished = true;
}

XPCEventLoop::Interest XPCConnectionCore::sessionInterest(Session& session) {
    std::lock_guard lock(m_mutex);
    if (session.finished || session.closing) {
        // Nothing more is written to a session that is ending.
        session.closing = true;
        return {true, false, std::nullopt};
    }
    XPCEventLoop::Interest interest;
    interest.writable = !session.outgoing.empty();
    if (session.frameStarted) {
        interest.deadline = *session.frameStarted + m_frameTimeLimit;
    }
    return interest;
}

void XPCConnectionCore::handleMessage(XPCMessage message) {
    if (message.kind == XPCMessage::Kind::invoke) {
        std::lock_guard lock(m_mutex);
        m_lastCall = std::chrono::steady_clock::now();
    }
    // A loop the delivery queue's own thread drives hands the message over right here.
    const bool onDeliveryThread =
        m_deliveryQueue && (m_deliveryQueue->isCurrent() ||
                            (m_deliveryQueue == DispatchQueue::main() && isMainThread()));
    if (m_deliveryQueue && !onDeliveryThread) {
        m_deliveryQueue->async([weak = weak_from_this(), message = std::move(message)]() mutable {
            if (auto self = weak.lock()) {
                self->deliverMessage(std::move(message));
            }
        });
        return;
    }
    deliverMessage(std::move(message));
}

void XPCConnectionCore::deliverMessage(XPCMessage message) {
    if (message.kind != XPCMessage::Kind::invoke) {
        Pending pending;
        {
            std::lock_guard lock(m_mutex);
            auto found = m_pending.find(message.id);
            if (found == m_pending.end()) {
                return;
            }
            pending = std::move(found->second);
            m_pending.erase(found);
        }
        // Without a delivery queue, answers run here, on the I/O thread, without a hop: a paused
        // connection waits for this answer, and every thread hop adds to its wait.
        if (message.kind == XPCMessage::Kind::reply) {
            pending.reply(message.arguments);
        } else if (pending.error) {
            pending.error({XPCError::Code::peerError, std::move(message.description)});
        }
        return;
    }

    std::shared_ptr<XPCExportedObject> object;
    std::optional<XPCInterface> interface;
    {
        std::lock_guard lock(m_mutex);
        object = m_exportedObject;
        interface = m_exportedInterface;
    }
    const XPCInterface::Method* method = interface ? interface->method(message.selector) : nullptr;
    std::string refusal;
    const std::string selector = printableText(message.selector, kPeerTextLimit);
    if (!object || method == nullptr) {
        refusal = "Nothing here answers " + selector;
    } else if (message.version != interface->version()) {
        refusal = "The peer speaks version " + std::to_string(message.version) + " of " +
                  interface->protocolName() + "; this side speaks version " +
                  std::to_string(interface->version());
    } else if (message.arguments.size() != method->argumentCount ||
               message.expectsReply != method->hasReply) {
        refusal = "The message " + selector + " does not fit " + interface->protocolName();
    }
    if (!refusal.empty()) {
        logAboutPeer(m_peerUid, refusal);
        if (message.expectsReply) {
            XPCMessage error;
            error.kind = XPCMessage::Kind::error;
            error.id = message.id;
            error.version = message.version;
            error.description = refusal;
            sendAnswer(std::move(error));
        }
        return;
    }
    XPCReply reply;
    if (message.expectsReply) {
        reply = XPCReply(weak_from_this(), message.id, interface->version());
    }
    // Delivered in order on this thread (or the delivery queue), which serves the connection as a
    // serial queue would.
    object->invoke(message.selector, message.arguments, reply);
}

void XPCConnectionCore::endSession(Session& session) {
    std::unique_lock lock(m_mutex);
    session.closing = true;
    session.fd.reset();
    if (m_session.get() == &session) {
        m_session.reset();
    }
    if (std::exchange(m_peerRegistered, false)) {
        std::lock_guard registryLock(peers().mutex);
        auto found = peers().peers.find({m_label, m_peerPid});
        if (found != peers().peers.end()) {
            peers().peers.erase(found);
        }
    }
    auto pending = std::move(m_pending);
    m_pending.clear();
    std::function<void()> handler;
    std::shared_ptr<XPCExportedObject> released;
    XPCError error = XPCError::invalid();
    if (m_state == State::active && m_role == Role::client) {
        m_state = State::interrupted;
        handler = m_interruptionHandler;
        error = XPCError::interrupted();
    } else {
        m_state = State::invalidated;
        handler = std::move(m_invalidationHandler);
        released = std::move(m_exportedObject);
        m_interruptionHandler = nullptr;
    }
    lock.unlock();
    // Held until the queue has run the handlers, so the exported object outlives its last call.
    handlerQueue()->async([pending = std::move(pending), handler = std::move(handler), error,
                           released = std::move(released)]() mutable {
        for (auto& [id, entry] : pending) {
            if (entry.error) {
                entry.error(error);
            }
        }
        if (handler) {
            handler();
        }
    });
}

}  // namespace tarnwick
