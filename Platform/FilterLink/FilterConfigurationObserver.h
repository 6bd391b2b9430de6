#pragma once

#include "FilterConfiguration.h"
#include "XPC/XPCExportedObject.h"
#include "XPC/XPCInterface.h"
#include "XPC/XPCRemoteObjectProxy.h"

#include <memory>

namespace tarnwick {

// What each filter-manager client offers the extension host: word that the configuration changed,
// with the configuration now in force.
class FilterConfigurationObserver {
public:
    virtual ~FilterConfigurationObserver() = default;
    virtual void filterConfigurationDidChange(const FilterConfiguration& configuration) = 0;

    static const XPCInterface& interface();
    static std::shared_ptr<XPCExportedObject> exportedObject(
        std::shared_ptr<FilterConfigurationObserver> object);
    static std::shared_ptr<FilterConfigurationObserver> remoteObject(XPCRemoteObjectProxy proxy);
};

}  // namespace tarnwick
