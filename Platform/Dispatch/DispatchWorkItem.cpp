#include "DispatchWorkItem.h"

namespace tarnwick {

DispatchWorkItem::DispatchWorkItem(std::function<void()> block) : m_block(std::move(block)) {}

void DispatchWorkItem::perform() {
    if (!isCancelled() && m_block) {
        m_block();
    }
}

void DispatchWorkItem::cancel() {
    m_cancelled.store(true, std::memory_order_release);
}

bool DispatchWorkItem::isCancelled() const {
    return m_cancelled.load(std::memory_order_acquire);
}

}  // namespace tarnwick
