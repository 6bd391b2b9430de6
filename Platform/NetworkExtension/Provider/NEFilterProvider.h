#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

enum class NEProviderStopReason {
    none,
    userInitiated,
    providerFailed,
    configurationDisabled,
};

// A content filter as the host starts and stops it. The host waits for each completion handler
// (a bounded time) before it goes on.
class NEFilterProvider {
public:
    // Nothing on success, else the reason the filter could not start.
    using StartCompletion = std::function<void(const std::optional<std::string>&)>;

    virtual ~NEFilterProvider() = default;
    virtual void startFilter(StartCompletion completionHandler) = 0;
    virtual void stopFilter(NEProviderStopReason reason,
                            std::function<void()> completionHandler) = 0;
};

}  // namespace tarnwick
