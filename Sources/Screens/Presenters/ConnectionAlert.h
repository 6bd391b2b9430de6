#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The alert that asks the user about one connection into a target country. Its answers are
// numbered from `kFirstButtonAnswer` in the order of `buttons`.
struct ConnectionAlert {
    static constexpr int kFirstButtonAnswer = 1000;
    // The answer of an alert that was closed without a button.
    static constexpr int kNoAnswer = 0;

    std::string messageText;
    std::string informativeText;
    // The bundle identifier whose running application's icon the alert shows; none: the
    // "commandLineApp" image.
    std::optional<std::string> iconBundleIdentifier;
    std::vector<std::string> buttons;
};

// Shows connection alerts. `present` returns at once and calls `answer` later on the main queue,
// at most once, with the button's answer; `dismiss` closes the shown alert without calling it.
class ConnectionAlertPresenter {
public:
    using Answer = std::function<void(int)>;
    virtual ~ConnectionAlertPresenter() = default;
    virtual void present(const ConnectionAlert& alert, Answer answer) = 0;
    virtual void dismiss() = 0;
};

}  // namespace tarnwick
