#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace tarnwick::detail {

// One subscriber's receiver until it is cancelled. Delivery never holds the lock while the
// receiver runs. With `dropsStale`, a value numbered no newer than one already delivered is
// dropped, so a subject's current value cannot overtake a newer one sent from another thread.
template <typename T>
class Subscription {
public:
    using Receiver = std::function<void(const T&)>;

    explicit Subscription(Receiver receiver)
        : m_receiver(std::make_shared<const Receiver>(std::move(receiver))) {}

    void deliver(const T& value, std::uint64_t generation, bool dropsStale) {
        std::shared_ptr<const Receiver> receiver;
        {
            std::lock_guard lock(m_mutex);
            if (!m_receiver) {
                return;
            }
            if (dropsStale) {
                if (m_hasDelivered && generation <= m_delivered) {
                    return;
                }
                m_hasDelivered = true;
                m_delivered = generation;
            }
            receiver = m_receiver;
        }
        (*receiver)(value);
    }

    void cancel() {
        std::shared_ptr<const Receiver> released;
        {
            std::lock_guard lock(m_mutex);
            released = std::move(m_receiver);
        }
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<const Receiver> m_receiver;
    bool m_hasDelivered = false;
    std::uint64_t m_delivered = 0;
};

}  // namespace tarnwick::detail
