#include "IPCConnection.h"

#include "Dispatch/DispatchQueue.h"
#include "FilterLink/MachServiceName.h"
#include "FilterLink/ProviderCommunication.h"
#include "OSLog/OSLog.h"

#include <cstdlib>

namespace tarnwick {

namespace {

// Hands each flow to the delegate; the connection delivers on the main queue. A delegate that is
// gone lets the flow through, so no flow waits for an answer that cannot come.
class DelegateForwarder final : public AppCommunication {
public:
    explicit DelegateForwarder(std::weak_ptr<AppCommunication> delegate)
        : m_delegate(std::move(delegate)) {}

    void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) override {
        if (const auto target = m_delegate.lock()) {
            target->promptUser(aboutFlow, std::move(responseHandler));
        } else {
            responseHandler(true);
        }
    }

private:
    std::weak_ptr<AppCommunication> m_delegate;
};

}  // namespace

IPCConnection& IPCConnection::shared() {
    // Never destroyed: replies still on their way at exit find it.
    static auto* connection = new IPCConnection();
    return *connection;
}

IPCConnection::IPCConnection(ConnectionFactory makeConnection,
                             std::chrono::milliseconds registrationTimeLimit)
    : m_makeConnection(std::move(makeConnection))
    , m_registrationTimeLimit(registrationTimeLimit)
    , m_state(std::make_shared<State>()) {}

IPCConnection::~IPCConnection() {
    invalidate();
}

void IPCConnection::invalidate() {
    std::shared_ptr<XPCConnection> connection;
    {
        std::lock_guard lock(m_state->mutex);
        connection = m_state->currentConnection;
    }
    if (connection) {
        // Its hang-up handler forgets it and tells those who waited for its registration.
        connection->invalidate();
        for (const auto& waiter : m_state->forget(connection)) {
            waiter(false);
        }
    }
}

bool IPCConnection::hasConnection() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->currentConnection != nullptr;
}

std::vector<IPCConnection::Completion> IPCConnection::State::forget(
    const std::shared_ptr<XPCConnection>& connection) {
    std::lock_guard lock(mutex);
    if (currentConnection != connection) {
        return {};
    }
    currentConnection.reset();
    registered = false;
    return std::move(waiting);
}

std::vector<IPCConnection::Completion> IPCConnection::State::answered(
    const std::shared_ptr<XPCConnection>& connection, bool answer) {
    std::lock_guard lock(mutex);
    if (currentConnection != connection) {
        return {};
    }
    registered = answer;
    return std::move(waiting);
}

void IPCConnection::registerWithExtension(const Bundle& extensionBundle,
                                          std::weak_ptr<AppCommunication> delegate,
                                          Completion completion) {
    const Completion onMain = [completion = std::move(completion)](bool registered) {
        DispatchQueue::main()->async([completion, registered] { completion(registered); });
    };
    {
        std::lock_guard lock(m_state->mutex);
        m_state->delegate = delegate;
        if (m_state->currentConnection && m_state->registered) {
            osLog("Already registered with the provider");
            onMain(true);
            return;
        }
        if (m_state->currentConnection) {
            m_state->waiting.push_back(onMain);
            return;
        }
    }
    const auto serviceName = filterlink::machServiceName(extensionBundle);
    if (!serviceName) {
        osLog("Missing the Mach service name in " + extensionBundle.bundlePath().string() +
                  "/Contents/Info.plist",
              OSLogType::fault);
        std::abort();
    }
    auto connection = m_makeConnection(*serviceName);
    connection->setExportedInterface(AppCommunication::interface());
    connection->setExportedObject(
        AppCommunication::exportedObject(std::make_shared<DelegateForwarder>(delegate)));
    connection->setRemoteObjectInterface(ProviderCommunication::interface());
    connection->setDeliveryQueue(DispatchQueue::main());
    // Where the main thread serves the link itself, a flow costs the application one wake-up.
    if (auto loop = XPCEventLoop::mainThreadLoop()) {
        connection->setEventLoop(std::move(loop));
    }
    std::weak_ptr<XPCConnection> weakConnection = connection;
    // A link that breaks after registration is no registration any more.
    std::weak_ptr<State> weakState = m_state;
    auto hangUp = [weakState, weakConnection] {
        const auto state = weakState.lock();
        const auto ended = weakConnection.lock();
        if (state && ended) {
            // Whoever waited for its registration learns it did not happen.
            for (const auto& waiter : state->forget(ended)) {
                waiter(false);
            }
        }
    };
    connection->setInvalidationHandler(hangUp);
    connection->setInterruptionHandler(hangUp);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->currentConnection = connection;
    }
    connection->resume();
    auto answered = std::make_shared<std::once_flag>();
    // The first answer (reply or error) goes to this caller and to those who asked meanwhile. A
    // connection that did not register is no registration: the next one connects anew.
    const auto answer = [weakState, weakConnection, answered, onMain](bool registered) {
        std::call_once(*answered, [&] {
            std::vector<Completion> waiting;
            const auto state = weakState.lock();
            const auto current = weakConnection.lock();
            if (state && current) {
                waiting = state->answered(current, registered);
                if (!registered) {
                    (void)state->forget(current);
                }
            }
            if (current && !registered) {
                current->invalidate();
            }
            onMain(registered);
            for (const auto& waiter : waiting) {
                waiter(registered);
            }
        });
    };
    auto provider = ProviderCommunication::remoteObject(
        connection->remoteObjectProxyWithErrorHandler([answer](const XPCError& error) {
            osLog("Failed to register with the provider: " + error.localizedDescription);
            answer(false);
        }));
    provider->registerApp([answer](bool registered) { answer(registered); });
    // An extension that took the connection and never answers must not leave the start hanging.
    DispatchQueue::main()->asyncAfter(m_registrationTimeLimit, [answer] {
        osLog("The provider did not answer the registration in time");
        answer(false);
    });
}

}  // namespace tarnwick
