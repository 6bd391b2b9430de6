#pragma once

#include "AnyCancellable.h"
#include "Publisher.h"
#include "SubjectCore.h"

#include <memory>
#include <optional>

namespace tarnwick {

// Passes each value it is sent to the subscribers of that moment; it keeps nothing, so a late
// subscriber hears only what is sent after it subscribed. Safe to use from any thread.
template <typename T>
class PassthroughSubject {
public:
    using Receiver = typename Publisher<T>::Receiver;

    PassthroughSubject() : m_core(std::make_shared<detail::SubjectCore<T>>(std::nullopt)) {}
    PassthroughSubject(const PassthroughSubject&) = delete;
    PassthroughSubject& operator=(const PassthroughSubject&) = delete;

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
