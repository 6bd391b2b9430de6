#pragma once

#include "Foundation/Value.h"

#include <filesystem>
#include <optional>

namespace tarnwick {

// The code a process runs: its executable and, when the executable lies inside an application
// bundle ("X.app/..."), the information property list of the nearest such bundle. Stands in for
// reading the signing information of the process behind an audit token.
struct ProcessCodeIdentity {
    std::filesystem::path executablePath;
    std::optional<Value::Dictionary> infoPlist;

    // Nothing when the token is malformed or its process is gone. The bundle is looked up within
    // BundleInfoLookup's time limit; when it is not known in time, infoPlist is empty.
    static std::optional<ProcessCodeIdentity> forAuditToken(const Value::Data& token);
    // The nearest enclosing application bundle's Info.plist, read now.
    static std::optional<Value::Dictionary> enclosingBundleInfo(
        const std::filesystem::path& executable);
};

}  // namespace tarnwick
