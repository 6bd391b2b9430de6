#pragma once

#include "Foundation/Value.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// An application bundle for tests: "<name>" (a folder such as "Tool.app") with
// Contents/Info.plist, Resources/<language>.lproj folders and an executable under Contents/MacOS.
struct BundleFixture {
    std::string name = "Tool.app";
    Value::Dictionary info;  // CFBundleExecutable is added when there is an executable
    bool binaryInfo = false;
    std::vector<std::string> localizations;
    std::optional<std::string> executable;  // its bytes
};

std::filesystem::path writeBundle(const std::filesystem::path& folder, const BundleFixture& bundle);

}  // namespace tarnwick::testing
