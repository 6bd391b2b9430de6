#pragma once

#include "Subject.h"

#include <optional>

namespace tarnwick {

// Passes each value it is sent to the subscribers of that moment; it keeps nothing, so a late
// subscriber hears only what is sent after it subscribed. Safe to use from any thread.
template <typename T>
class PassthroughSubject : public detail::Subject<T> {
public:
    PassthroughSubject() : detail::Subject<T>(std::nullopt) {}
};

}  // namespace tarnwick
