#include "ConnectionMonitorAnimationManager.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Tools/AnimationQueue.h"

namespace tarnwick {

using Collection = ConnectionMonitorAnimationManager::AnimationSequenceCollection;

Collection::AnimationSequenceCollection(AnimationSequenceType sequence,
                                        std::optional<AnimationSequence> idle,
                                        std::function<int()> drawHoldSeconds)
    : m_sequence(sequence)
    , m_idle(std::move(idle))
    , m_drawHoldSeconds(std::move(drawHoldSeconds)) {}

std::string Collection::sequence() const {
    return m_sequence == AnimationSequenceType::WumbleIdle ? "WumbleIdle" : "WumbleBlink";
}

std::optional<Collection::AnimationSequenceType> Collection::fromRawValue(
    std::string_view rawValue) {
    if (rawValue == "WumbleIdle") {
        return AnimationSequenceType::WumbleIdle;
    }
    if (rawValue == "WumbleBlink") {
        return AnimationSequenceType::WumbleBlink;
    }
    return std::nullopt;
}

AnimationSequence Collection::makeSequence(std::function<void()> completion) const {
    if (m_sequence == AnimationSequenceType::WumbleBlink) {
        return AnimationSequence("WumbleBlink",
                                 {"WumbleIdle1", "WumbleIdle2", "WumbleIdle3", "WumbleIdle4",
                                  "WumbleIdle5", "WumbleIdle1"},
                                 0.04, std::move(completion));
    }
    return AnimationSequence("WumbleIdle", {"WumbleIdle1"}, 2.0 + m_drawHoldSeconds(),
                             std::move(completion));
}

ConnectionMonitorAnimationManager::ConnectionMonitorAnimationManager(Scheduler& scheduler,
                                                                     std::function<int()> random)
    : AnimationManager(scheduler), m_random(std::move(random)) {
    if (!m_random) {
        m_random = [engine = std::make_shared<std::mt19937>(std::random_device{}())] {
            return static_cast<int>(std::uniform_int_distribution<int>(0, 1)(*engine));
        };
    }
    const auto reference = [this](const char* name) {
        return AnimationSequence(name, {"WumbleIdle1"}, static_cast<double>(m_random()));
    };
    m_wumbleIdleReference = std::make_shared<Collection>(
        Collection::AnimationSequenceType::WumbleIdle, reference("WumbleIdle"), m_random);
    m_wumbleBlinkReference = std::make_shared<Collection>(
        Collection::AnimationSequenceType::WumbleBlink, reference("WumbleBlink"), m_random);
    setSequenceCollection(m_wumbleIdleReference);
    setAnimationQueue(std::make_shared<AnimationQueue>(m_wumbleIdleReference, scanState()));
}

void ConnectionMonitorAnimationManager::start(FrameCallback onFrameChange) {
    dispatchPreconditionOnMain();
    setAnimationTimer(nullptr);
    if (const auto queue = animationQueue()) {
        setAnimationTimer(startTimer(queue, std::move(onFrameChange)));
    }
    queueBlink();
}

void ConnectionMonitorAnimationManager::queueBlink() {
    const auto queue = animationQueue();
    if (scanState() != ScanState::standBy || !queue) {
        return;
    }
    std::weak_ptr<AnimationManager> weakSelf = weak_from_this();
    queue->queue().push_back(m_wumbleBlinkReference->makeSequence([weakSelf] {
        if (const auto self =
                std::static_pointer_cast<ConnectionMonitorAnimationManager>(weakSelf.lock())) {
            self->queueIdle();
        }
    }));
}

void ConnectionMonitorAnimationManager::queueIdle() {
    const auto queue = animationQueue();
    if (!queue) {
        return;
    }
    std::weak_ptr<AnimationManager> weakSelf = weak_from_this();
    queue->queue().push_back(m_wumbleIdleReference->makeSequence([weakSelf] {
        if (const auto self =
                std::static_pointer_cast<ConnectionMonitorAnimationManager>(weakSelf.lock())) {
            if (self->scanState() == ScanState::standBy) {
                self->queueBlink();
            }
        }
    }));
}

}  // namespace tarnwick
