#pragma once

#include "AnyCancellable.h"
#include "Publisher.h"
#include "SubjectCore.h"

#include <memory>
#include <optional>

namespace tarnwick {

// Holds a current value: a new subscriber gets it at once, then every value sent afterwards.
// Safe to use from any thread.
template <typename T>
class CurrentValueSubject {
public:
    using Receiver = typename Publisher<T>::Receiver;

    explicit CurrentValueSubject(T value)
        : m_core(std::make_shared<detail::SubjectCore<T>>(std::optional<T>(std::move(value)))) {}
    CurrentValueSubject(const CurrentValueSubject&) = delete;
    CurrentValueSubject& operator=(const CurrentValueSubject&) = delete;

    T value() const { return m_core->value(); }
    // Stores the value, then hands it to the subscribers.
    void send(const T& value) const { m_core->send(value); }

    [[nodiscard]] AnyCancellable sink(Receiver receiver) const {
        return m_core->subscribe(std::move(receiver));
    }
    Publisher<T> publisher() const {
        return Publisher<T>(
            [core = m_core](Receiver receiver) { return core->subscribe(std::move(receiver)); });
    }
    Publisher<T> receive(std::shared_ptr<DispatchQueue> on) const {
        return publisher().receive(std::move(on));
    }

private:
    std::shared_ptr<detail::SubjectCore<T>> m_core;
};

}  // namespace tarnwick
