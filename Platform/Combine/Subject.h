#pragma once

#include "AnyCancellable.h"
#include "Publisher.h"
#include "SubjectCore.h"

#include <memory>
#include <optional>

namespace tarnwick::detail {

// What both subjects offer: sending, subscribing, and a publisher that can only listen.
template <typename T>
class Subject {
public:
    using Receiver = typename Publisher<T>::Receiver;

    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;

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

protected:
    explicit Subject(std::optional<T> current)
        : m_core(std::make_shared<SubjectCore<T>>(std::move(current))) {}
    ~Subject() = default;

    std::shared_ptr<SubjectCore<T>> m_core;
};

}  // namespace tarnwick::detail
