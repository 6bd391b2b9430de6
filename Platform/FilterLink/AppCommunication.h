#pragma once

#include "XPC/XPCExportedObject.h"
#include "XPC/XPCInterface.h"
#include "XPC/XPCRemoteObjectProxy.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tarnwick {

// What the application offers the extension: a decision on one paused flow. The response handler
// takes true to allow the flow and false to drop it.
class AppCommunication {
public:
    using FlowInfo = std::map<std::string, std::string>;
    using ResponseHandler = std::function<void(bool)>;

    virtual ~AppCommunication() = default;
    virtual void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) = 0;

    static const XPCInterface& interface();
    // Serves `object` to the peer; a flow-info argument that is not a dictionary of strings is
    // answered with an error and never reaches the object.
    static std::shared_ptr<XPCExportedObject> exportedObject(
        std::shared_ptr<AppCommunication> object);
    // The peer's object; a malformed reply counts as a failed message.
    static std::shared_ptr<AppCommunication> remoteObject(XPCRemoteObjectProxy proxy);
};

}  // namespace tarnwick
