#pragma once

#include "Subject.h"

#include <optional>

namespace tarnwick {

// Holds a current value: a new subscriber gets it at once, then every value sent afterwards
// (`send` stores the value, then hands it to the subscribers). Safe to use from any thread.
template <typename T>
class CurrentValueSubject : public detail::Subject<T> {
public:
    explicit CurrentValueSubject(T value)
        : detail::Subject<T>(std::optional<T>(std::move(value))) {}

    T value() const { return this->m_core->value(); }
};

}  // namespace tarnwick
