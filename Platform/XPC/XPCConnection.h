#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/FileDescriptor.h"
#include "XPCEventLoop.h"
#include "XPCExportedObject.h"
#include "XPCInterface.h"
#include "XPCRemoteObjectProxy.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick {

class XPCConnectionCore;

// A two-way message link to another process over a Unix domain socket: this side exports an object
// that the peer may call, and calls the peer's exported object through a remote proxy. Made by
// name for a service (client), or handed out by an XPCListener for each peer that connects.
//
// Nothing happens before resume(). The peer's messages (calls to the exported object, replies)
// are handled in order on the connection's I/O thread (for connections a listener accepted, the
// one thread that serves all of them); interruption, invalidation and the errors
// found on this side run on the connection's own serial queue, after every message that came
// before them. A connection that can never reach its peer, or that is
// invalidated, reports it once through the invalidation handler and is dead for good; a client
// whose peer went away reports the interruption and connects again with its next message. Either
// way every message still waiting for its reply gets its error handler instead.
class XPCConnection {
public:
    // A connection to the named service of this machine.
    static std::shared_ptr<XPCConnection> create(const std::string& machServiceName);
    // A client connection to a socket elsewhere than the services folder.
    // Used for testing only
    static std::shared_ptr<XPCConnection> createForSocketPath(const std::filesystem::path& path);
    // Takes over one end of a connected stream socket: how a listener hands out its peers, and
    // how tests pair two connections without a listener.
    static std::shared_ptr<XPCConnection> adoptSocket(FileDescriptor fd, const std::string& label);

    explicit XPCConnection(std::shared_ptr<XPCConnectionCore> core);

    void setExportedInterface(XPCInterface interface);
    void setExportedObject(std::shared_ptr<XPCExportedObject> object);
    void setRemoteObjectInterface(XPCInterface interface);
    void setInvalidationHandler(std::function<void()> handler);
    void setInterruptionHandler(std::function<void()> handler);
    // Hands everything the peer sends (calls to the exported object, replies, errors,
    // interruption and invalidation) to `queue`, in order, instead of the I/O thread. The
    // application passes the main queue, so its state is only touched there; the extension keeps
    // the I/O thread, which answers paused connections without a hop. Only before resume().
    void setDeliveryQueue(std::shared_ptr<DispatchQueue> queue);
    // A client's sessions are served by `loop` instead of a thread of their own. With a driven loop
    // that the delivery queue's thread drives, the peer's messages are handled as they are read,
    // without a hop to that queue: the application serves its link to the extension on the main
    // thread this way. Only before resume().
    void setEventLoop(std::shared_ptr<XPCEventLoop> loop);

    void resume();
    void invalidate();

    XPCRemoteObjectProxy remoteObjectProxyWithErrorHandler(
        XPCRemoteObjectProxy::ErrorHandler errorHandler) const;

    // The peer's process and user, as the kernel gave them when the socket connected.
    pid_t processIdentifier() const;
    uid_t effectiveUserIdentifier() const;

    // For a connection a listener accepted: the service vouches for the peer (it registered), so
    // isRegisteredPeerProcess names its process for as long as the connection stays open.
    void markPeerRegistered();
    // When the peer's last call to the exported object arrived; nothing while it has made none.
    std::optional<std::chrono::steady_clock::time_point> lastCallTime() const;

    // Whether `pid` is the peer of a connection this process accepted on the named service, still
    // holds open, and marked as registered. Merely connecting makes no process one.
    static bool isRegisteredPeerProcess(pid_t pid, const std::string& serviceName);

private:
    std::shared_ptr<XPCConnectionCore> m_core;
};

}  // namespace tarnwick
