#pragma once

#include "Foundation/Value.h"
#include "XPCError.h"

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class XPCConnectionCore;

// Sends messages to the peer's exported object. For each message exactly one of its reply handler
// and the proxy's error handler runs, once; a message without a reply handler reaches the error
// handler only when it cannot be sent. The peer's answer (reply, or an error it sent) is handled
// on the connection's I/O thread, so it must be quick and must not wait for this connection or
// another one of the same listener;
// failures found on this side (connection gone, message not sent) arrive on the connection's
// queue.
class XPCRemoteObjectProxy {
public:
    using ReplyHandler = std::function<void(const Value::Array&)>;
    using ErrorHandler = std::function<void(const XPCError&)>;

    XPCRemoteObjectProxy(std::weak_ptr<XPCConnectionCore> connection, ErrorHandler errorHandler);

    void invoke(const std::string& selector, Value::Array arguments,
                ReplyHandler replyHandler = {}) const;

    // For typed proxies that find a reply malformed: reports it as the message's failure.
    void reportError(const XPCError& error) const;

private:
    std::weak_ptr<XPCConnectionCore> m_connection;
    ErrorHandler m_errorHandler;
};

}  // namespace tarnwick
