#pragma once

#include <memory>

namespace tarnwick {

class XPCConnection;
class XPCListener;

// Decides about each peer that passed the listener's credential check. To accept, the delegate
// configures the connection, resumes it and answers true; a refused connection is invalidated.
class XPCListenerDelegate {
public:
    virtual ~XPCListenerDelegate() = default;
    virtual bool shouldAcceptNewConnection(XPCListener& listener,
                                           const std::shared_ptr<XPCConnection>& connection) = 0;
};

}  // namespace tarnwick
