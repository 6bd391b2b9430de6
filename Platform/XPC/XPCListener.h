#pragma once

#include "XPCPeerPolicy.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace tarnwick {

class XPCListenerDelegate;

// Accepts connections on a named service's socket. The socket file belongs to the policy's user
// with mode 0600; every peer's credentials are checked against the policy before the delegate
// hears of it, and refused peers are logged and closed. Connections are handed to the delegate
// on the listener's serial queue. One I/O thread serves the socket and every connection accepted
// on it, so idle peers cost no thread each; a peer that starts a frame and does not finish it
// within the frame time limit is closed.
class XPCListener : public std::enable_shared_from_this<XPCListener> {
public:
    static std::shared_ptr<XPCListener> create(const std::string& machServiceName,
                                               XPCPeerPolicy policy);
    // A listener on a socket elsewhere than the services folder.
    // Used for testing only
    static std::shared_ptr<XPCListener> createForSocketPath(std::filesystem::path path,
                                                            XPCPeerPolicy policy);

    XPCListener(std::string serviceName, std::filesystem::path path, bool inServicesDirectory,
                XPCPeerPolicy policy);
    ~XPCListener();
    XPCListener(const XPCListener&) = delete;
    XPCListener& operator=(const XPCListener&) = delete;

    // The delegate is held weakly.
    void setDelegate(std::weak_ptr<XPCListenerDelegate> delegate);
    // How long a peer may take to finish a frame it started (10 s unless set), for connections
    // accepted from now on.
    // Used for testing only
    void setFrameTimeLimit(std::chrono::milliseconds limit);

    // Starts listening. False, with the reason logged, when the socket cannot be made.
    bool resume();
    // Stops listening and removes the socket file. Connections already made go on.
    void invalidate();

    const std::filesystem::path& socketPath() const { return m_path; }

    // Invalidates every listener of the process: for a process about to end, so that no socket
    // file is left behind.
    static void invalidateAll();

private:
    struct Shared;

    const std::string m_serviceName;
    const std::filesystem::path m_path;
    const bool m_inServicesDirectory;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace tarnwick
