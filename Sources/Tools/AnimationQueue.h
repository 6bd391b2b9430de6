#pragma once

#include "AnimationSequence.h"
#include "AnimationSequenceCollectionType.h"
#include "ScanState.h"

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// The sequences a mascot will play, in order, and the one playing now. The head of `queue` is the
// one that the next `advance` takes away. Main thread only.
class AnimationQueue {
public:
    // Starts with an empty list and the collection's idle sequence as the current one.
    AnimationQueue(std::shared_ptr<const AnimationSequenceCollectionType> sequenceCollection,
                   std::optional<ScanState> scanState);

    std::vector<AnimationSequence>& queue() { return m_queue; }
    const std::vector<AnimationSequence>& queue() const { return m_queue; }

    const std::optional<AnimationSequence>& currentAnimation() const { return m_currentAnimation; }
    void setCurrentAnimation(std::optional<AnimationSequence> sequence) {
        m_currentAnimation = std::move(sequence);
    }

    std::optional<ScanState> scanState() const { return m_scanState; }
    void setScanState(std::optional<ScanState> scanState) { m_scanState = scanState; }

    const std::shared_ptr<const AnimationSequenceCollectionType>& sequenceCollection() const {
        return m_sequenceCollection;
    }

    // Takes the head away and runs its completion; the new head, if any, becomes current. An empty
    // list changes nothing: the current sequence keeps playing.
    void advance();
    // Makes the default sequence of the scan state (the scan one while active, else the idle one)
    // the only sequence in the list and returns it. Without such a sequence the list stays as it
    // is. The current sequence is not changed here.
    std::optional<AnimationSequence> resetToDefaultSequence();

private:
    std::vector<AnimationSequence> m_queue;
    std::optional<AnimationSequence> m_currentAnimation;
    std::optional<ScanState> m_scanState;
    std::shared_ptr<const AnimationSequenceCollectionType> m_sequenceCollection;
};

}  // namespace tarnwick
