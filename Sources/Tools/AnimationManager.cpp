#include "AnimationManager.h"

#include "Dispatch/DispatchQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarnwick {

namespace {

// A rate of zero, less or no number at all would make the timer spin; like a platform timer, it
// is raised to a tenth of a millisecond. Rates beyond a year are cut to a year.
Scheduler::Duration intervalFor(double seconds) {
    constexpr double kMinimum = 0.0001;
    constexpr double kMaximum = 365.0 * 24 * 60 * 60;
    if (!(seconds >= kMinimum)) {
        seconds = kMinimum;
    }
    seconds = std::min(seconds, kMaximum);
    return std::chrono::duration_cast<Scheduler::Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

AnimationManager::AnimationManager(Scheduler& scheduler) : m_scheduler(scheduler) {}

AnimationManager::~AnimationManager() {
    if (m_animationTimer) {
        m_animationTimer->invalidate();
    }
}

void AnimationManager::setAnimationTimer(std::shared_ptr<Timer> timer) {
    if (m_animationTimer && m_animationTimer != timer) {
        m_animationTimer->invalidate();
    }
    m_animationTimer = std::move(timer);
}

std::shared_ptr<Timer> AnimationManager::startTimer(const std::shared_ptr<AnimationQueue>& queue,
                                                    FrameCallback onFrameChange) {
    setAnimationTimer(nullptr);
    if (!queue || !queue->currentAnimation()) {
        return nullptr;
    }
    const AnimationSequence sequence = *queue->currentAnimation();
    return Timer::scheduledTimer(
        intervalFor(sequence.refreshRate()), true,
        [weakSelf = weak_from_this(), sequence, queue,
         onFrameChange = std::move(onFrameChange)](Timer& timer) {
            auto self = weakSelf.lock();
            if (!self) {
                timer.invalidate();
                return;
            }
            self->advanceFrame(sequence, queue, onFrameChange);
        },
        DispatchQueue::main(), m_scheduler);
}

void AnimationManager::advanceFrame(const AnimationSequence& sequence,
                                    const std::shared_ptr<AnimationQueue>& queue,
                                    const FrameCallback& onFrameChange) {
    const int lastIndex = static_cast<int>(sequence.frames().size()) - 1;
    if (lastIndex >= 0 && m_frameIndex < lastIndex) {
        m_frameIndex = std::max(m_frameIndex + 1, 0);
        m_currentFrame = sequence.frames()[static_cast<std::size_t>(m_frameIndex)];
        if (onFrameChange) {
            onFrameChange(*m_currentFrame);
        }
        return;
    }
    m_frameIndex = 0;
    queue->advance();
    setAnimationTimer(startTimer(queue, onFrameChange));
}

}  // namespace tarnwick
