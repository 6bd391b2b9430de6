#include "AnimationQueue.h"

#include <utility>

namespace tarnwick {

AnimationQueue::AnimationQueue(
    std::shared_ptr<const AnimationSequenceCollectionType> sequenceCollection,
    std::optional<ScanState> scanState)
    : m_scanState(scanState), m_sequenceCollection(std::move(sequenceCollection)) {
    if (m_sequenceCollection) {
        m_currentAnimation = m_sequenceCollection->idle();
    }
}

void AnimationQueue::advance() {
    if (m_queue.empty()) {
        return;
    }
    const AnimationSequence head = std::move(m_queue.front());
    m_queue.erase(m_queue.begin());
    // The completion may queue further sequences; they count for the new head below.
    if (const auto& completion = head.completion()) {
        completion();
    }
    if (!m_queue.empty()) {
        m_currentAnimation = m_queue.front();
    }
}

std::optional<AnimationSequence> AnimationQueue::resetToDefaultSequence() {
    if (!m_sequenceCollection) {
        return std::nullopt;
    }
    auto chosen = m_scanState == ScanState::active ? m_sequenceCollection->idleScan()
                                                   : m_sequenceCollection->idle();
    if (chosen) {
        m_queue = {*chosen};
    }
    return chosen;
}

}  // namespace tarnwick
