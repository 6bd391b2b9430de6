#pragma once

#include "FilterLink/AppCommunication.h"
#include "Foundation/Bundle.h"
#include "XPC/XPCConnection.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {

// The application's end of the link with its filter extension: one connection to the service
// the extension bundle names, over which the application exports its flow decision and registers
// with the extension. The extension's calls and the registration's answer reach the application
// on the main queue.
//
// A connection that hangs up is forgotten at once, so the next registration really connects
// again; while the connection stands and its registration succeeded, a registration answers true
// without asking. One asked while the registration is still on its way gets that registration's
// answer, never a yes before it is known.
class IPCConnection {
public:
    using Completion = std::function<void(bool)>;
    using ConnectionFactory = std::function<std::shared_ptr<XPCConnection>(const std::string&)>;

    static IPCConnection& shared();

    static constexpr std::chrono::milliseconds kRegistrationTimeLimit{10000};

    // Tests connect elsewhere than the services folder.
    explicit IPCConnection(
        ConnectionFactory makeConnection = &XPCConnection::create,
        std::chrono::milliseconds registrationTimeLimit = kRegistrationTimeLimit);
    virtual ~IPCConnection();
    IPCConnection(const IPCConnection&) = delete;
    IPCConnection& operator=(const IPCConnection&) = delete;

    // The completion runs once, on the main queue: true when registered (or already connected),
    // false when the connection failed or the extension did not answer within the time limit. A
    // bundle that names no service stops the process.
    virtual void registerWithExtension(const Bundle& extensionBundle,
                                       std::weak_ptr<AppCommunication> delegate,
                                       Completion completion);

    bool hasConnection() const;
    // Closes the link, for quitting: those still waiting for a registration are told it failed.
    // A later registration connects anew.
    void invalidate();

private:
    // Shared with the connection's handlers, which may outlive this object.
    struct State {
        std::mutex mutex;
        std::shared_ptr<XPCConnection> currentConnection;
        // Whether the extension answered the current connection's registration with true.
        bool registered = false;
        // Callers waiting for the current connection's registration.
        std::vector<Completion> waiting;
        std::weak_ptr<AppCommunication> delegate;

        // Forgets `connection` if it is still the current one; the callers that waited for its
        // registration, who are owed an answer.
        std::vector<Completion> forget(const std::shared_ptr<XPCConnection>& connection);
        // The registration over `connection` was answered: the waiting callers get the answer.
        std::vector<Completion> answered(const std::shared_ptr<XPCConnection>& connection,
                                         bool registered);
    };

    ConnectionFactory m_makeConnection;
    const std::chrono::milliseconds m_registrationTimeLimit;
    const std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
