#pragma once

#include "Foundation/Bundle.h"

#include <optional>
#include <string>

namespace tarnwick::filterlink {

// The service the extension listens on, from an extension bundle's Info.plist: the string
// "NEMachServiceName" in the "NetworkExtension" dictionary. None when it is missing or of
// another type.
std::optional<std::string> machServiceName(const Bundle& extensionBundle);

}  // namespace tarnwick::filterlink
