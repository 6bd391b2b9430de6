#include "XPCConnection.h"

#include "XPCConnectionCore.h"
#include "XPCServicePath.h"

#include <unistd.h>

namespace tarnwick {

std::shared_ptr<XPCConnection> XPCConnection::create(const std::string& machServiceName) {
    return std::make_shared<XPCConnection>(std::make_shared<XPCConnectionCore>(
        XPCConnectionCore::Role::client, machServiceName, xpcSocketPath(machServiceName)));
}

std::shared_ptr<XPCConnection> XPCConnection::createForSocketPath(
    const std::filesystem::path& path) {
    return std::make_shared<XPCConnection>(std::make_shared<XPCConnectionCore>(
        XPCConnectionCore::Role::client, path.filename().string(), path));
}

std::shared_ptr<XPCConnection> XPCConnection::adoptSocket(FileDescriptor fd,
                                                          const std::string& label) {
    auto core = std::make_shared<XPCConnectionCore>(XPCConnectionCore::Role::server, label,
                                                    std::filesystem::path());
    core->adoptSocket(std::move(fd));
    return std::make_shared<XPCConnection>(std::move(core));
}

XPCConnection::XPCConnection(std::shared_ptr<XPCConnectionCore> core) : m_core(std::move(core)) {}

void XPCConnection::setExportedInterface(XPCInterface interface) {
    m_core->setExportedInterface(std::move(interface));
}

void XPCConnection::setExportedObject(std::shared_ptr<XPCExportedObject> object) {
    m_core->setExportedObject(std::move(object));
}

void XPCConnection::setRemoteObjectInterface(XPCInterface interface) {
    m_core->setRemoteObjectInterface(std::move(interface));
}

void XPCConnection::setInvalidationHandler(std::function<void()> handler) {
    m_core->setInvalidationHandler(std::move(handler));
}

void XPCConnection::setDeliveryQueue(std::shared_ptr<DispatchQueue> queue) {
    m_core->setDeliveryQueue(std::move(queue));
}

void XPCConnection::setEventLoop(std::shared_ptr<XPCEventLoop> loop) {
    m_core->setEventLoop(std::move(loop));
}

void XPCConnection::setInterruptionHandler(std::function<void()> handler) {
    m_core->setInterruptionHandler(std::move(handler));
}

void XPCConnection::resume() {
    m_core->resume();
}

void XPCConnection::invalidate() {
    m_core->invalidate();
}

XPCRemoteObjectProxy XPCConnection::remoteObjectProxyWithErrorHandler(
    XPCRemoteObjectProxy::ErrorHandler errorHandler) const {
    return XPCRemoteObjectProxy(m_core, std::move(errorHandler));
}

pid_t XPCConnection::processIdentifier() const {
    return m_core->peerProcessIdentifier();
}

uid_t XPCConnection::effectiveUserIdentifier() const {
    return m_core->peerUserIdentifier();
}

void XPCConnection::markPeerRegistered() {
    m_core->markPeerRegistered();
}

std::optional<std::chrono::steady_clock::time_point> XPCConnection::lastCallTime() const {
    return m_core->lastCallTime();
}

bool XPCConnection::isRegisteredPeerProcess(pid_t pid, const std::string& serviceName) {
    return XPCConnectionCore::isRegisteredPeer(pid, serviceName);
}

}  // namespace tarnwick
