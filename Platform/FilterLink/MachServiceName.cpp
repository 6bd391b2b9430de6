#include "MachServiceName.h"

namespace tarnwick::filterlink {

std::optional<std::string> machServiceName(const Bundle& extensionBundle) {
    const Value* networkExtension = extensionBundle.objectForInfoDictionaryKey("NetworkExtension");
    const Value* name = networkExtension != nullptr && networkExtension->asDictionary() != nullptr
                            ? networkExtension->find("NEMachServiceName")
                            : nullptr;
    if (name == nullptr || !name->asString()) {
        return std::nullopt;
    }
    return *name->asString();
}

}  // namespace tarnwick::filterlink
