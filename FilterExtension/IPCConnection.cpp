#include "IPCConnection.h"

#include "ApplicationProgram.h"
#include "OSLog/OSLog.h"
#include "XPC/XPCPeerPolicy.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tarnwick {

namespace {

// Serves one connection: its registration names the connection it came over.
class Registration final : public ProviderCommunication {
public:
    Registration(std::weak_ptr<IPCConnection> owner, std::weak_ptr<XPCConnection> connection)
        : m_owner(std::move(owner)), m_connection(std::move(connection)) {}

    void registerApp(Reply reply) override {
        auto owner = m_owner.lock();
        auto connection = m_connection.lock();
        if (owner && connection) {
            owner->registerConnection(connection, std::move(reply));
        } else {
            reply(false);
        }
    }

private:
    std::weak_ptr<IPCConnection> m_owner;
    std::weak_ptr<XPCConnection> m_connection;
};

}  // namespace

IPCConnection::IPCConnection()
    : IPCConnection(Limits{}, [program = std::make_shared<const ApplicationProgram>(
                                   ApplicationProgram::ofThisExtension())](pid_t process) {
        return program->isRunBy(process);
    }) {}

IPCConnection::IPCConnection(Limits limits, ApplicationCheck isApplication)
    : m_limits(limits)
    , m_queue(DispatchQueue::create("ipc-connection"))
    , m_isApplication(std::move(isApplication)) {}

void IPCConnection::setApplicationCheck(ApplicationCheck isApplication) {
    std::lock_guard lock(m_mutex);
    m_isApplication = std::move(isApplication);
}

bool IPCConnection::isApplication(pid_t process) const {
    ApplicationCheck check;
    {
        std::lock_guard lock(m_mutex);
        check = m_isApplication;
    }
    return check && check(process);
}

const std::shared_ptr<IPCConnection>& IPCConnection::shared() {
    // A function-local static is made once, safely against concurrent first use.
    static const auto* instance =
        new std::shared_ptr<IPCConnection>(std::make_shared<IPCConnection>());
    return *instance;
}

std::shared_ptr<XPCListener> IPCConnection::listener() const {
    std::lock_guard lock(m_mutex);
    return m_listener;
}

std::shared_ptr<XPCConnection> IPCConnection::currentConnection() const {
    std::lock_guard lock(m_mutex);
    return m_currentConnection;
}

std::string IPCConnection::machServiceName(const Bundle& bundle) {
    const Value* networkExtension = bundle.objectForInfoDictionaryKey("NetworkExtension");
    const Value* name = networkExtension != nullptr && networkExtension->asDictionary() != nullptr
                            ? networkExtension->find("NEMachServiceName")
                            : nullptr;
    if (name == nullptr || !name->asString()) {
        osLog("Missing the Mach service name in " + bundle.bundlePath().string() +
                  "/Contents/Info.plist",
              OSLogType::fault);
        std::abort();
    }
    return *name->asString();
}

void IPCConnection::startListener() {
    const std::string name = machServiceName(Bundle::main());
    osLog("Starting XPC listener for mach service " + name);
    auto newListener = XPCListener::create(name, XPCPeerPolicy::desktopUser());
    newListener->setDelegate(weak_from_this());
    newListener->resume();
    std::shared_ptr<XPCListener> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_listener, newListener);
    }
    if (previous && previous != newListener) {
        previous->invalidate();
    }
}

bool IPCConnection::shouldAcceptNewConnection(XPCListener&,
                                              const std::shared_ptr<XPCConnection>& connection) {
    const pid_t process = connection->processIdentifier();
    const uid_t user = connection->effectiveUserIdentifier();
    // Told apart now, so that the application never waits for room among clients that merely
    // connect; asked again when it registers, since the process may run another program by then.
    const bool application = isApplication(process);
    std::shared_ptr<XPCConnection> evicted;
    {
        std::lock_guard lock(m_mutex);
        const auto oldestWhere = [this](const auto& matches) {
            return std::find_if(m_unregistered.begin(), m_unregistered.end(), matches);
        };
        const auto shareWhere = [this](const auto& matches) {
            return static_cast<std::size_t>(
                std::count_if(m_unregistered.begin(), m_unregistered.end(), matches));
        };
        const auto sameProcess = [process, application](const Unregistered& pending) {
            return pending.process == process && pending.application == application;
        };
        const auto sameUser = [user](const Unregistered& pending) {
            return !pending.application && pending.user == user;
        };
        auto victim = m_unregistered.end();
        if (shareWhere(sameProcess) >= m_limits.unregisteredPerProcess) {
            victim = oldestWhere(sameProcess);
        } else if (application) {
            // Takes no room from the others, and the others none from it; bounded apart, as a
            // user may run the application's program as often as they like.
            const auto sameUsersApplication = [user](const Unregistered& pending) {
                return pending.application && pending.user == user;
            };
            if (shareWhere(sameUsersApplication) >= m_limits.unregisteredConnections) {
                victim = oldestWhere(sameUsersApplication);
            }
        } else if (shareWhere(sameUser) >= m_limits.unregisteredPerUser) {
            victim = oldestWhere(sameUser);
        } else if (shareWhere([](const Unregistered& pending) { return !pending.application; }) >=
                   m_limits.unregisteredConnections) {
            // The user with the most connections waiting gives up its oldest.
            std::size_t largest = 0;
            for (auto pending = m_unregistered.begin(); pending != m_unregistered.end();
                 ++pending) {
                if (pending->application) {
                    continue;
                }
                const auto share = shareWhere([owner = pending->user](const Unregistered& other) {
                    return !other.application && other.user == owner;
                });
                if (share > largest) {
                    largest = share;
                    victim = pending;
                }
            }
        }
        if (victim != m_unregistered.end()) {
            evicted = std::move(victim->connection);
            m_unregistered.erase(victim);
        }
        m_unregistered.push_back({connection, process, user, application});
    }
    if (evicted) {
        m_evictionLog.log(
            "Closed a connection that had not registered, to make room for a newer one",
            OSLogType::error);
        evicted->invalidate();
    }
    connection->setExportedInterface(ProviderCommunication::interface());
    connection->setExportedObject(ProviderCommunication::exportedObject(
        std::make_shared<Registration>(weak_from_this(), connection)));
    connection->setRemoteObjectInterface(AppCommunication::interface());
    const XPCConnection* identity = connection.get();
    std::weak_ptr<IPCConnection> weakSelf = weak_from_this();
    connection->setInvalidationHandler([weakSelf, identity] {
        if (auto self = weakSelf.lock()) {
            self->forget(identity);
        }
    });
    connection->setInterruptionHandler([weakSelf, identity] {
        if (auto self = weakSelf.lock()) {
            self->forget(identity);
        }
    });
    // A client that does not register in time is let go; held weakly, so a connection that
    // ended meanwhile is not kept for this.
    m_queue->asyncAfter(
        m_limits.registrationTimeLimit,
        [weakSelf, weakConnection = std::weak_ptr<XPCConnection>(connection)] {
            auto self = weakSelf.lock();
            auto late = weakConnection.lock();
            if (!self || !late) {
                return;
            }
            bool unregistered = false;
            {
                std::lock_guard lock(self->m_mutex);
                unregistered = std::erase_if(self->m_unregistered, [&late](const auto& pending) {
                                   return pending.connection == late;
                               }) > 0;
            }
            if (unregistered) {
                self->m_lateLog.log("Closed a connection that did not register in time",
                                    OSLogType::info);
                late->invalidate();
            }
        });
    connection->resume();
    return true;
}

void IPCConnection::registerApp(Reply reply) {
    reply(false);
}

void IPCConnection::registerConnection(const std::shared_ptr<XPCConnection>& connection,
                                       Reply reply) {
    if (!isApplication(connection->processIdentifier())) {
        m_refusalLog.log("Refused the registration of a process that does not run the application",
                         OSLogType::error);
        reply(false);
        return;
    }
    std::shared_ptr<XPCConnection> replaced;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_unregistered, [&connection](const auto& pending) {
            return pending.connection == connection;
        });
        replaced = std::exchange(m_currentConnection, connection);
    }
    // From now on its process's own traffic is the application's, which never waits on a verdict.
    connection->markPeerRegistered();
    osLog("App registered");
    // The replaced connection is no longer used for prompts; closing it answers whatever it still
    // had on its way (those flows are let through) and frees its socket.
    if (replaced && replaced != connection) {
        replaced->invalidate();
    }
    reply(true);
}

bool IPCConnection::promptUser(const FlowInfo& aboutFlow,
                               std::function<void(bool)> responseHandler) {
    const auto connection = currentConnection();
    if (!connection) {
        osLog("Cannot prompt user because the app isn't registered");
        return false;
    }
    const XPCConnection* identity = connection.get();
    auto self = shared_from_this();
    auto proxy = connection->remoteObjectProxyWithErrorHandler(
        [self, identity, responseHandler](const XPCError& error) {
            osLog("Failed to prompt the user: " + error.localizedDescription);
            self->forget(identity);
            responseHandler(true);
        });
    AppCommunication::remoteObject(std::move(proxy))
        ->promptUser(aboutFlow, [responseHandler](bool allow) { responseHandler(allow); });
    return true;
}

void IPCConnection::forget(const XPCConnection* connection) {
    std::shared_ptr<XPCConnection> forgotten;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_unregistered, [connection](const auto& pending) {
            return pending.connection.get() == connection;
        });
        if (m_currentConnection.get() != connection) {
            return;
        }
        forgotten = std::move(m_currentConnection);
    }
    forgotten->invalidate();
}

}  // namespace tarnwick
