#include "XPCRemoteObjectProxy.h"

#include "XPCConnectionCore.h"

namespace tarnwick {

XPCRemoteObjectProxy::XPCRemoteObjectProxy(std::weak_ptr<XPCConnectionCore> connection,
                                           ErrorHandler errorHandler)
    : m_connection(std::move(connection)), m_errorHandler(std::move(errorHandler)) {}

void XPCRemoteObjectProxy::invoke(const std::string& selector, Value::Array arguments,
                                  ReplyHandler replyHandler) const {
    if (auto core = m_connection.lock()) {
        core->invoke(selector, std::move(arguments), std::move(replyHandler), m_errorHandler);
        return;
    }
    // The connection is gone altogether; there is no queue left, so the handler runs here.
    if (m_errorHandler) {
        m_errorHandler(XPCError::invalid());
    }
}

void XPCRemoteObjectProxy::reportError(const XPCError& error) const {
    if (m_errorHandler) {
        m_errorHandler(error);
    }
}

}  // namespace tarnwick
