#pragma once

#include "Foundation/Bundle.h"

#include <optional>
#include <string>

namespace tarnwick {

// Facts read from a bundle's Info.plist.

// True only when "IsBeta" holds exactly the text "YES".
bool isBeta(const Bundle& bundle);
// "CFBundleShortVersionString", with "-beta" appended for a beta build.
std::optional<std::string> versionText(const Bundle& bundle);
// "NSHumanReadableCopyright".
std::optional<std::string> copyrightText(const Bundle& bundle);

}  // namespace tarnwick
