#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick::detail {

// One subscriber's receiver until it is cancelled. Delivery never holds the lock while the
// receiver runs. With `dropsStale`, a value numbered no newer than one already delivered is
// dropped, so a subject's current value cannot overtake a newer one sent from another thread.
//
// Cancelling waits for deliveries running on other threads to return, so once a token is
// cancelled (or destroyed) its receiver is not running and will not run: an owner may destroy what
// the receiver refers to right after. A receiver that cancels its own subscription does not wait
// for itself. A receiver must therefore never block on the thread that cancels it.
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
            m_delivering.push_back(std::this_thread::get_id());
        }
        struct Finish {
            Subscription& subscription;
            ~Finish() { subscription.finishDelivery(); }
        } finish{*this};
        (*receiver)(value);
    }

    void cancel() {
        std::shared_ptr<const Receiver> released;
        std::unique_lock lock(m_mutex);
        released = std::move(m_receiver);
        const auto self = std::this_thread::get_id();
        m_idle.wait(lock, [&] {
            return std::all_of(m_delivering.begin(), m_delivering.end(),
                               [&](const std::thread::id& id) { return id == self; });
        });
        lock.unlock();
    }

private:
    void finishDelivery() {
        std::lock_guard lock(m_mutex);
        const auto self = std::this_thread::get_id();
        m_delivering.erase(std::find(m_delivering.begin(), m_delivering.end(), self));
        m_idle.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_idle;
    // The threads running the receiver right now (a thread twice when a delivery re-enters).
    std::vector<std::thread::id> m_delivering;
    std::shared_ptr<const Receiver> m_receiver;
    bool m_hasDelivered = false;
    std::uint64_t m_delivered = 0;
};

}  // namespace tarnwick::detail
