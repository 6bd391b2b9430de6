#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FilterLink/AppCommunication.h"
#include "FilterLink/ProviderCommunication.h"
#include "Foundation/Bundle.h"
#include "OSLog/OSLogThrottle.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCListenerDelegate.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// The extension's end of the link with the application. It listens on the service named in the
// extension's Info.plist, answers registration and hands each flow description to the registered
// application.
//
// Only a connection that has registered becomes the one to prompt over, and it replaces (and
// closes) the one registered before; a connection that has not registered cannot cut off the
// live one, and its process is not exempt from the filter. Only a process that runs the
// application's program may register (see ApplicationProgram); anyone else is answered false.
//
// Connections waiting to register are bounded, and each is closed when it has not registered
// within a short time limit. A connection from the application's program is known as such when it
// arrives and takes no room among the others: only the older ones of its own process, or of the
// application's program run by its user, make way for it, so no number of other clients can keep
// the application from registering. The others are bounded in all, per user and per process; a
// newcomer among them is never refused, but the oldest of its own process when that has its share,
// else of its own user when that has its share, else of the user that holds the most, makes way.
//
// The stored connection is read and replaced from XPC's queues and the packet thread, so it is
// guarded; the end (or a failed prompt) of a connection clears the stored one only when it is
// that same connection, so a stale connection never cuts off the live one.
class IPCConnection final : public XPCListenerDelegate,
                            public ProviderCommunication,
                            public std::enable_shared_from_this<IPCConnection> {
public:
    using FlowInfo = std::map<std::string, std::string>;

    struct Limits {
        std::size_t unregisteredConnections = 8;
        std::chrono::milliseconds registrationTimeLimit{2000};
        std::size_t unregisteredPerProcess = 2;
        std::size_t unregisteredPerUser = 4;
    };
    // Whether the process runs the application's program.
    using ApplicationCheck = std::function<bool(pid_t)>;

    // The application is this extension's own (ApplicationProgram::ofThisExtension).
    IPCConnection();
    IPCConnection(Limits limits, ApplicationCheck isApplication);

    // Who may register from now on, in place of the one given when made.
    // Used for testing only
    void setApplicationCheck(ApplicationCheck isApplication);

    // The one instance of the process, made on first use and never released.
    static const std::shared_ptr<IPCConnection>& shared();

    std::shared_ptr<XPCListener> listener() const;
    std::shared_ptr<XPCConnection> currentConnection() const;

    void startListener();
    // True when the flow was handed to the application; its response handler then runs exactly
    // once, with the application's answer or, when the application cannot be reached, with true.
    // False, and the handler never runs, when no application is connected.
    bool promptUser(const FlowInfo& aboutFlow, std::function<void(bool)> responseHandler);

    bool shouldAcceptNewConnection(XPCListener& listener,
                                   const std::shared_ptr<XPCConnection>& connection) override;
    // Registration without a connection to tell which one asked: answered, changes nothing.
    void registerApp(Reply reply) override;
    // `connection` asks to register: it becomes the one to prompt over when its process runs the
    // application's program.
    void registerConnection(const std::shared_ptr<XPCConnection>& connection, Reply reply);

    // The Mach service name of a bundle's Info.plist ("NetworkExtension" / "NEMachServiceName").
    // A bundle without it is a build defect: the process stops.
    static std::string machServiceName(const Bundle& bundle);

private:
    // Forgets `connection` if it is still the current one, and as an unregistered one.
    void forget(const XPCConnection* connection);

    bool isApplication(pid_t process) const;

    const Limits m_limits;
    const std::shared_ptr<DispatchQueue> m_queue;
    mutable std::mutex m_mutex;
    ApplicationCheck m_isApplication;
    std::shared_ptr<XPCListener> m_listener;
    std::shared_ptr<XPCConnection> m_currentConnection;
    struct Unregistered {
        std::shared_ptr<XPCConnection> connection;
        pid_t process = 0;
        uid_t user = 0;
        // It came from the application's program.
        bool application = false;
    };
    // Oldest first.
    std::vector<Unregistered> m_unregistered;
    // Lines a flood of clients would repeat without end.
    OSLogThrottle m_evictionLog;
    OSLogThrottle m_lateLog;
    OSLogThrottle m_refusalLog;
    // Kept for the class shape shared with the application's end; the extension never sets it.
    std::weak_ptr<AppCommunication> m_delegate;
};

}  // namespace tarnwick
