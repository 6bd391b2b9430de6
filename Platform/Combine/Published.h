#pragma once

#include "AnyCancellable.h"
#include "CurrentValueSubject.h"
#include "Publisher.h"

#include <memory>
#include <utility>

namespace tarnwick {

// An observable property of a model. Views subscribe to `publisher()`: they get the current value
// at once and every value set afterwards. Each set is published, equal or not, after the new
// value is stored, so a subscriber that reads the property sees the value it was handed.
template <typename T>
class Published {
public:
    using Receiver = typename Publisher<T>::Receiver;

    Published() : m_subject(T{}) {}
    explicit Published(T initial) : m_subject(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    T get() const { return m_subject.value(); }
    void set(const T& value) { m_subject.send(value); }
    Published& operator=(const T& value) {
        set(value);
        return *this;
    }

    Publisher<T> publisher() const { return m_subject.publisher(); }
    [[nodiscard]] AnyCancellable sink(Receiver receiver) const {
        return m_subject.sink(std::move(receiver));
    }
    Publisher<T> receive(std::shared_ptr<DispatchQueue> on) const {
        return m_subject.receive(std::move(on));
    }

private:
    CurrentValueSubject<T> m_subject;
};

}  // namespace tarnwick
