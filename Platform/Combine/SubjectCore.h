#pragma once

#include "AnyCancellable.h"
#include "Subscription.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tarnwick::detail {

// What the subjects share: the list of subscribers and, for subjects that hold a state, the
// current value. Receivers are always called without any lock held, so a receiver may send,
// subscribe or cancel freely.
//
// A subject that holds a state numbers its values; a subscriber never gets a value older than one
// it already got, so the current value handed to a new subscriber cannot overtake a newer value
// that another thread sent meanwhile.
template <typename T>
class SubjectCore : public std::enable_shared_from_this<SubjectCore<T>> {
public:
    using Receiver = std::function<void(const T&)>;

    explicit SubjectCore(std::optional<T> current) : m_current(std::move(current)) {}

    AnyCancellable subscribe(Receiver receiver) {
        auto subscription = std::make_shared<Subscription<T>>(std::move(receiver));
        std::optional<T> initial;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(m_mutex);
            m_subscriptions.push_back(subscription);
            if (m_current) {
                initial = m_current;
                generation = m_generation;
            }
        }
        if (initial) {
            subscription->deliver(*initial, generation, true);
        }
        return AnyCancellable([weakCore = this->weak_from_this(), subscription] {
            subscription->cancel();
            if (auto core = weakCore.lock()) {
                core->remove(subscription);
            }
        });
    }

    void send(const T& value) {
        std::vector<std::shared_ptr<Subscription<T>>> targets;
        std::uint64_t generation = 0;
        bool holdsState = false;
        {
            std::lock_guard lock(m_mutex);
            holdsState = m_current.has_value();
            if (holdsState) {
                *m_current = value;
            }
            generation = ++m_generation;
            targets = m_subscriptions;
        }
        for (const auto& subscription : targets) {
            subscription->deliver(value, generation, holdsState);
        }
    }

    // Subjects that hold a state only.
    T value() const {
        std::lock_guard lock(m_mutex);
        return *m_current;
    }

private:
    void remove(const std::shared_ptr<Subscription<T>>& subscription) {
        std::lock_guard lock(m_mutex);
        std::erase(m_subscriptions, subscription);
    }

    mutable std::mutex m_mutex;
    std::optional<T> m_current;
    std::uint64_t m_generation = 0;
    std::vector<std::shared_ptr<Subscription<T>>> m_subscriptions;
};

}  // namespace tarnwick::detail
