#include "CommandLineOptions.h"

#include <sstream>

namespace tarnwick::CommandLineOptions {

namespace {

bool isSet(const Environment& environment, const char* name) {
    const auto value = environment(name);
    return value && !value->empty();
}

// Whether the platform can start with what the environment names. A list such as
// "wayland;xcb" is tried in order by the toolkit, so one usable entry is enough.
bool canStart(const std::string& platforms, const Environment& environment) {
    std::istringstream entries(platforms);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        const std::string name = entry.substr(0, entry.find(':'));
        if (name.empty()) {
            continue;
        }
        if (name == "xcb") {
            if (isSet(environment, "DISPLAY")) {
                return true;
            }
        } else if (name.rfind("wayland", 0) == 0) {
            if (isSet(environment, "WAYLAND_DISPLAY")) {
                return true;
            }
        } else {
            return true;  // offscreen, minimal, vnc, a framebuffer: no display server needed
        }
    }
    return false;
}

}  // namespace

Request parse(const std::vector<std::string>& arguments) {
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            return Request::help;
        }
        if (argument == "--version") {
            return Request::version;
        }
    }
    return Request::run;
}

std::string helpText() {
    return "Usage: tarnwick [--help | --version]\n"
           "\n"
           "Tarnwick looks for applications and network connections tied to the countries you\n"
           "mark as undesirable, and can block those connections.\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Tarnwick runs once per user: starting it again brings its window to the front.\n"
           "\n"
           "Files:\n"
           "  ~/.config/tarnwick/                          settings\n"
           "  ~/.local/share/Tarnwick/Logs/tarnwick.log    log\n";
}

std::string versionText(const std::optional<std::string>& version) {
    return "Tarnwick " + (version && !version->empty() ? *version : "(unknown version)") + "\n";
}

std::optional<std::string> missingDisplay(const std::vector<std::string>& arguments,
                                          const Environment& environment) {
    std::optional<std::string> chosen;
    for (std::size_t index = 1; index + 1 < arguments.size(); ++index) {
        if (arguments[index] == "-platform" || arguments[index] == "--platform") {
            chosen = arguments[index + 1];
        }
    }
    if (!chosen) {
        chosen = environment("QT_QPA_PLATFORM");
    }
    if (chosen && !chosen->empty()) {
        if (canStart(*chosen, environment)) {
            return std::nullopt;
        }
        return "tarnwick: cannot show a window: the platform \"" + *chosen +
               "\" needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY)";
    }
    if (isSet(environment, "DISPLAY") || isSet(environment, "WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    return std::string(
        "tarnwick: cannot show a window: no display is set (DISPLAY, WAYLAND_DISPLAY)");
}

}  // namespace tarnwick::CommandLineOptions
