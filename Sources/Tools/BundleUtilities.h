#pragma once

#include "Foundation/Bundle.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Facts read from a bundle's Info.plist.

// True only when "IsBeta" holds exactly the text "YES".
bool isBeta(const Bundle& bundle);
// "CFBundleShortVersionString", with "-beta" appended for a beta build.
std::optional<std::string> versionText(const Bundle& bundle);
// "NSHumanReadableCopyright".
std::optional<std::string> copyrightText(const Bundle& bundle);

// A dispatch-queue label: "<bundle identifier>.<name>", or the name alone when the bundle has no
// identifier. Without a bundle, the main bundle's.
std::string bundleQualifiedLabel(std::string_view name);
std::string bundleQualifiedLabel(std::string_view name, const Bundle& bundle);

// The application folders of every domain, user first: ~/Applications, /Applications,
// /Network/Applications, /System/Applications ("~" expanded when there is a home folder).
std::vector<std::string> applicationDirectories();

// Whether the bundle's path begins with an application folder (a plain text prefix), or else
// has a path component "Applications".
bool isInApplicationsFolder(const Bundle& bundle);
bool isInApplicationsFolder(const Bundle& bundle,
                            const std::vector<std::string>& applicationDirectories);

}  // namespace tarnwick
