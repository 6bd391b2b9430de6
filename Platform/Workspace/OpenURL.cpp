#include "OpenURL.h"

namespace tarnwick {

Result<void, ProcessError> openURL(const std::string& url) {
    if (url.empty() || url.front() == '-') {
        // xdg-open would read it as an option.
        return Failure{ProcessError{ProcessError::Code::invalidRequest, "not a URL: " + url, {}}};
    }
    const auto launched = Process::launchDetached({"xdg-open", url});
    if (!launched) {
        return Failure{launched.error()};
    }
    return {};
}

}  // namespace tarnwick
