#include "IPCConnection.h"

#include "OSLog/OSLog.h"
#include "XPC/XPCPeerPolicy.h"

#include <cstdlib>
#include <utility>

namespace tarnwick {

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
    connection->setExportedInterface(ProviderCommunication::interface());
    connection->setExportedObject(ProviderCommunication::exportedObject(shared_from_this()));
    connection->setRemoteObjectInterface(AppCommunication::interface());
    const XPCConnection* identity = connection.get();
    auto self = shared_from_this();
    connection->setInvalidationHandler([self, identity] { self->forget(identity); });
    connection->setInterruptionHandler([self, identity] { self->forget(identity); });
    std::shared_ptr<XPCConnection> replaced;
    {
        std::lock_guard lock(m_mutex);
        replaced = std::exchange(m_currentConnection, connection);
    }
    // The replaced connection is no longer used for prompts; closing it answers whatever it still
    // had on its way (those flows are let through) and frees its socket.
    if (replaced && replaced != connection) {
        replaced->invalidate();
    }
    connection->resume();
    return true;
}

void IPCConnection::registerApp(Reply reply) {
    osLog("App registered");
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
        if (m_currentConnection.get() != connection) {
            return;
        }
        forgotten = std::move(m_currentConnection);
    }
    forgotten->invalidate();
}

}  // namespace tarnwick
