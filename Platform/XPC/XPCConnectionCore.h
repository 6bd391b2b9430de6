#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/FileDescriptor.h"
#include "XPCError.h"
#include "XPCEventLoop.h"
#include "XPCExportedObject.h"
#include "XPCInterface.h"
#include "XPCMessage.h"
#include "XPCRemoteObjectProxy.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick {

// The working part of an XPCConnection, shared with its I/O loop, its reply blocks and its
// proxies. One session is one connected socket, watched by an I/O loop: the loop thread reads
// frames, hands them to the exported object or to reply handlers, and writes what could not be
// written at once. Each hop to another thread adds to the wait of a paused connection, so messages
// are handled right there; the rest (errors found on this side, interruption, invalidation) goes
// to the connection's serial queue. The sessions a listener accepted share the listener's loop; a
// client (or a socket adopted without a listener) has a loop of its own for each session.
//
// A frame the peer started must be complete within the frame time limit, or the session ends: a
// peer cannot hold a session's buffer by sending half a frame and waiting.
//
// A client connection whose peer goes away is interrupted and connects again with its next
// message; a connection accepted by a listener is invalidated when its peer goes away.
class XPCConnectionCore : public std::enable_shared_from_this<XPCConnectionCore> {
public:
    enum class Role { client, server };

    static constexpr std::chrono::milliseconds kDefaultFrameTimeLimit{10000};

    // `loop` is the listener's loop its sessions share; without one, each session gets its own.
    XPCConnectionCore(Role role, std::string label, std::filesystem::path socketPath,
                      std::shared_ptr<XPCEventLoop> loop = nullptr,
                      std::chrono::milliseconds frameTimeLimit = kDefaultFrameTimeLimit);
    ~XPCConnectionCore();

    // Server role, before resume: the accepted (or paired) socket, now owned by this connection.
    void adoptSocket(FileDescriptor fd);

    void setExportedInterface(XPCInterface interface);
    void setExportedObject(std::shared_ptr<XPCExportedObject> object);
    void setRemoteObjectInterface(XPCInterface interface);
    void setInvalidationHandler(std::function<void()> handler);
    void setInterruptionHandler(std::function<void()> handler);
    void setDeliveryQueue(std::shared_ptr<DispatchQueue> queue);
    void setEventLoop(std::shared_ptr<XPCEventLoop> loop);

    void resume();
    void invalidate();

    void invoke(const std::string& selector, Value::Array arguments,
                XPCRemoteObjectProxy::ReplyHandler replyHandler,
                XPCRemoteObjectProxy::ErrorHandler errorHandler);
    // A reply or error frame for a message of the peer; dropped when the session has ended.
    void sendAnswer(XPCMessage message);

    pid_t peerProcessIdentifier() const;
    uid_t peerUserIdentifier() const;
    const std::string& label() const { return m_label; }

    // Server role: the service vouches for this peer (it registered) while the session lasts.
    void markPeerRegistered();
    // Whether a process is the peer of an open server-side session of the named service that the
    // service marked as registered.
    static bool isRegisteredPeer(pid_t pid, const std::string& serviceName);
    // When the peer's last call arrived; nothing while it has sent none.
    std::optional<std::chrono::steady_clock::time_point> lastCallTime() const;

private:
    struct Session;
    struct Pending {
        XPCRemoteObjectProxy::ReplyHandler reply;
        XPCRemoteObjectProxy::ErrorHandler error;
    };
    enum class State { suspended, active, interrupted, invalidated };

    bool connectLocked();
    bool startSessionLocked(FileDescriptor fd);
    // False when the frame could not be written or queued; the session is then closing.
    [[nodiscard]] bool writeLocked(const std::string& frame);
    void wakeLocked();
    // On the loop thread: what the session's socket had for it, and what the session wants next.
    void sessionReady(Session& session, std::uint32_t events);
    void sessionExpired(Session& session);
    XPCEventLoop::Interest sessionInterest(Session& session);
    bool flushSession(Session& session);
    void handleMessage(XPCMessage message);
    void deliverMessage(XPCMessage message);
    // Where handlers, errors and (with a delivery queue) the peer's messages run.
    const std::shared_ptr<DispatchQueue>& handlerQueue() const {
        return m_deliveryQueue ? m_deliveryQueue : m_queue;
    }
    void endSession(Session& session);
    void postError(XPCRemoteObjectProxy::ErrorHandler handler, XPCError error);

    const Role m_role;
    const std::string m_label;
    const std::filesystem::path m_socketPath;
    const std::shared_ptr<DispatchQueue> m_queue;
    // Set before resume and read under the lock.
    std::shared_ptr<XPCEventLoop> m_loop;
    const std::chrono::milliseconds m_frameTimeLimit;
    // Set before resume and read-only after it, so the I/O thread reads it without the lock.
    std::shared_ptr<DispatchQueue> m_deliveryQueue;

    mutable std::mutex m_mutex;
    State m_state = State::suspended;
    std::shared_ptr<Session> m_session;
    FileDescriptor m_adopted;
    std::uint64_t m_nextMessageId = 1;
    std::map<std::uint64_t, Pending> m_pending;
    std::optional<XPCInterface> m_exportedInterface;
    std::optional<XPCInterface> m_remoteInterface;
    std::shared_ptr<XPCExportedObject> m_exportedObject;
    std::function<void()> m_invalidationHandler;
    std::function<void()> m_interruptionHandler;
    pid_t m_peerPid = 0;
    uid_t m_peerUid = static_cast<uid_t>(-1);
    // In the registry of registered peers, until the session ends.
    bool m_peerRegistered = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastCall;
};

}  // namespace tarnwick
