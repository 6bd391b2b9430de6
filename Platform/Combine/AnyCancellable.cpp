#include "AnyCancellable.h"

#include <utility>

namespace tarnwick {

AnyCancellable::AnyCancellable(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}

AnyCancellable::~AnyCancellable() {
    cancel();
}

AnyCancellable::AnyCancellable(AnyCancellable&& other) noexcept
    : m_cancel(std::exchange(other.m_cancel, nullptr)) {}

AnyCancellable& AnyCancellable::operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
        cancel();
        m_cancel = std::exchange(other.m_cancel, nullptr);
    }
    return *this;
}

void AnyCancellable::cancel() {
    if (auto cancel = std::exchange(m_cancel, nullptr)) {
        cancel();
    }
}

void AnyCancellable::store(std::vector<AnyCancellable>& in) && {
    in.push_back(std::move(*this));
}

}  // namespace tarnwick
