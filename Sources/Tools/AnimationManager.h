#pragma once

#include "AnimationQueue.h"
#include "AnimationSequence.h"
#include "AnimationSequenceCollectionType.h"
#include "Dispatch/Scheduler.h"
#include "Dispatch/Timer.h"
#include "ScanState.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Plays a mascot's queue of sequences with one repeating timer on the main queue and publishes
// the name of each frame to show. The mascot managers derive from it: they build the sequences,
// fill the queue, start the timer and store it in `animationTimer`.
//
// Each tick shows the next frame of the sequence that was current when the timer started; after
// the last frame, one tick advances the queue and restarts the timer at the rate of the sequence
// that is now current. So a sequence of n frames shows the frames at indices 1 to n-1, and a
// single-frame sequence publishes nothing: it is a pause of `refreshRate` seconds.
//
// Managers are made with std::make_shared: ticks hold the manager weakly and do nothing once it
// is gone. Main thread only.
class AnimationManager : public std::enable_shared_from_this<AnimationManager> {
public:
    using FrameCallback = std::function<void(const std::string&)>;

    // `scheduler` decides when the timer ticks; tests pass a ManualScheduler.
    explicit AnimationManager(Scheduler& scheduler = Scheduler::system());
    virtual ~AnimationManager();
    AnimationManager(const AnimationManager&) = delete;
    AnimationManager& operator=(const AnimationManager&) = delete;

    const std::shared_ptr<const AnimationSequenceCollectionType>& sequenceCollection() const {
        return m_sequenceCollection;
    }
    void setSequenceCollection(std::shared_ptr<const AnimationSequenceCollectionType> collection) {
        m_sequenceCollection = std::move(collection);
    }

    const std::shared_ptr<AnimationQueue>& animationQueue() const { return m_animationQueue; }
    void setAnimationQueue(std::shared_ptr<AnimationQueue> queue) {
        m_animationQueue = std::move(queue);
    }

    const std::shared_ptr<Timer>& animationTimer() const { return m_animationTimer; }
    // A replaced timer is invalidated: at most one timer runs at a time.
    void setAnimationTimer(std::shared_ptr<Timer> timer);

    int frameIndex() const { return m_frameIndex; }
    void setFrameIndex(int frameIndex) { m_frameIndex = frameIndex; }

    const std::optional<std::string>& currentFrame() const { return m_currentFrame; }
    void setCurrentFrame(std::optional<std::string> frame) { m_currentFrame = std::move(frame); }

    ScanState scanState() const { return m_scanState; }
    void setScanState(ScanState scanState) { m_scanState = scanState; }

    // Invalidates and drops the running timer, then, when the queue has a current sequence,
    // schedules a repeating timer at that sequence's rate and returns it (none otherwise). The
    // frame index is not reset: a new sequence continues from the index reached.
    std::shared_ptr<Timer> startTimer(const std::shared_ptr<AnimationQueue>& queue,
                                      FrameCallback onFrameChange);

protected:
    // One tick of the timer that plays `sequence`.
    void advanceFrame(const AnimationSequence& sequence,
                      const std::shared_ptr<AnimationQueue>& queue,
                      const FrameCallback& onFrameChange);

private:
    Scheduler& m_scheduler;
    std::shared_ptr<const AnimationSequenceCollectionType> m_sequenceCollection;
    std::shared_ptr<AnimationQueue> m_animationQueue;
    std::shared_ptr<Timer> m_animationTimer;
    int m_frameIndex = 0;
    std::optional<std::string> m_currentFrame;
    ScanState m_scanState = ScanState::standBy;
};

}  // namespace tarnwick
