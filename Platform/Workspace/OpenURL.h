#pragma once

#include "Foundation/Process.h"

#include <string>

namespace tarnwick {

// Opens a URL with the desktop's handler (xdg-open), which runs on by itself. The URL is one
// argument, never part of a command line.
Result<void, ProcessError> openURL(const std::string& url);

}  // namespace tarnwick
