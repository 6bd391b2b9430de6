#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// What a start asks for before any window exists. The help and the version are answered on the
// terminal with or without a display; everything else needs one.
namespace CommandLineOptions {

enum class Request { run, help, version };

// The first of "--help" / "-h" and "--version" decides; any other argument belongs to the
// toolkit or to a relaunch and is left to them.
Request parse(const std::vector<std::string>& arguments);

std::string helpText();
// "Tarnwick 2.3.1", or "Tarnwick (unknown version)" when the bundle names none.
std::string versionText(const std::optional<std::string>& version);

using Environment = std::function<std::optional<std::string>(const char* name)>;

// One line saying why no window can be shown, or nothing when it can: a display server is named
// in the environment, or a platform was chosen explicitly (the offscreen one of scripts/run and
// the tests is a choice too). A chosen X11 or Wayland platform still needs its server named.
std::optional<std::string> missingDisplay(const std::vector<std::string>& arguments,
                                          const Environment& environment);

}  // namespace CommandLineOptions

}  // namespace tarnwick
