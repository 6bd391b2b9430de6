#include "Shell/ApplicationTerminator.h"

namespace tarnwick {

namespace {
std::function<void()>& handler() {
    static std::function<void()> installed;
    return installed;
}
}  // namespace

void ApplicationTerminator::setHandler(std::function<void()> newHandler) {
    handler() = std::move(newHandler);
}

void ApplicationTerminator::terminate() {
    if (handler()) {
        handler()();
    }
}

}  // namespace tarnwick
