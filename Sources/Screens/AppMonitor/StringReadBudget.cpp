#include "StringReadBudget.h"

#include <algorithm>

namespace tarnwick {

StringReadBudget& StringReadBudget::shared() {
    // Never destroyed: analyser threads may still hold leases while the process exits.
    static auto* budget = new StringReadBudget(kDefaultBytes);
    return *budget;
}

std::shared_ptr<void> StringReadBudget::acquire(std::size_t bytes) {
    bytes = std::min(bytes, m_total);
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [&] { return m_used + bytes <= m_total; });
    m_used += bytes;
    return std::shared_ptr<void>(nullptr, [this, bytes](void*) { release(bytes); });
}

void StringReadBudget::release(std::size_t bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
    }
    m_freed.notify_all();
}

std::size_t StringReadBudget::inUse() const {
    std::lock_guard lock(m_mutex);
    return m_used;
}

}  // namespace tarnwick
