#include "NotificationCenter.h"

#include "Dispatch/DispatchQueue.h"

#include <algorithm>

namespace tarnwick {

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: other threads may post while the process exits.
    static auto* center = new NotificationCenter;
    return *center;
}

NotificationCenter::Observation::Observation(std::string name, std::shared_ptr<DispatchQueue> queue,
                                             Block block)
    : m_name(std::move(name)), m_queue(std::move(queue)), m_block(std::move(block)) {}

void NotificationCenter::Observation::deliver(
    const std::shared_ptr<const Notification>& notification,
    const std::shared_ptr<Observation>& self) {
    if (!m_queue || m_queue->isCurrent()) {
        if (m_active) {
            m_block(*notification);
        }
        return;
    }
    m_queue->async([self, notification] {
        if (self->m_active) {
            self->m_block(*notification);
        }
    });
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(
    std::string name, std::shared_ptr<DispatchQueue> queue, Block block) {
    auto token = std::make_shared<Observation>(std::move(name), std::move(queue), std::move(block));
    std::lock_guard lock(m_mutex);
    m_observers.push_back(token);
    return token;
}

void NotificationCenter::removeObserver(const ObserverToken& token) {
    if (!token) {
        return;
    }
    token->m_active = false;
    std::lock_guard lock(m_mutex);
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), token),
                      m_observers.end());
}

void NotificationCenter::post(Notification notification) {
    std::vector<ObserverToken> receivers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& observer : m_observers) {
            if (observer->name().empty() || observer->name() == notification.name) {
                receivers.push_back(observer);
            }
        }
    }
    // Blocks run outside the lock, so they may add or remove observers themselves.
    auto shared = std::make_shared<const Notification>(std::move(notification));
    for (const auto& receiver : receivers) {
        receiver->deliver(shared, receiver);
    }
}

}  // namespace tarnwick
