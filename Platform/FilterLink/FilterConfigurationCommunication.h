#pragma once

#include "FilterConfiguration.h"
#include "FilterStatus.h"
#include "XPC/XPCExportedObject.h"
#include "XPC/XPCInterface.h"
#include "XPC/XPCRemoteObjectProxy.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// What the extension host offers the application's filter manager: reading and saving the filter
// configuration, and how the filter it switches is doing. Saving applies it: the filter starts or
// stops before the reply.
class FilterConfigurationCommunication {
public:
    using LoadReply = std::function<void(const FilterConfiguration&)>;
    // The reason the configuration was not saved, or nothing.
    using SaveReply = std::function<void(const std::optional<std::string>&)>;
    using StatusReply = std::function<void(const FilterStatus&)>;

    virtual ~FilterConfigurationCommunication() = default;
    virtual void loadFromPreferences(LoadReply reply) = 0;
    virtual void saveToPreferences(const FilterConfiguration& configuration, SaveReply reply) = 0;
    virtual void fetchStatus(StatusReply reply) = 0;

    static const XPCInterface& interface();
    static std::shared_ptr<XPCExportedObject> exportedObject(
        std::shared_ptr<FilterConfigurationCommunication> object);
    static std::shared_ptr<FilterConfigurationCommunication> remoteObject(
        XPCRemoteObjectProxy proxy);
};

}  // namespace tarnwick
