#pragma once

#include "XPC/XPCExportedObject.h"
#include "XPC/XPCInterface.h"
#include "XPC/XPCRemoteObjectProxy.h"

#include <functional>
#include <memory>

namespace tarnwick {

// What the extension offers the application: registration. `registerApp` is the "register:"
// message (`register` is a C++ keyword); its reply says whether the application is registered.
class ProviderCommunication {
public:
    using Reply = std::function<void(bool)>;

    virtual ~ProviderCommunication() = default;
    virtual void registerApp(Reply reply) = 0;

    static const XPCInterface& interface();
    // Serves `object` to the peer of a connection.
    static std::shared_ptr<XPCExportedObject> exportedObject(
        std::shared_ptr<ProviderCommunication> object);
    // The peer's object; a malformed reply counts as a failed message.
    static std::shared_ptr<ProviderCommunication> remoteObject(XPCRemoteObjectProxy proxy);
};

}  // namespace tarnwick
