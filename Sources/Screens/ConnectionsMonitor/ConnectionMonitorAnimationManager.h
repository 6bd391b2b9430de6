#pragma once

#include "Tools/AnimationManager.h"
#include "Tools/AnimationSequenceCollectionType.h"

#include <functional>
#include <memory>
#include <random>
#include <string>

namespace tarnwick {

// The Connections Monitor's mascot: an endless cycle of a quick blink and a still pose held for
// two or three seconds, for as long as the manager lives. Main thread only; made with
// std::make_shared.
class ConnectionMonitorAnimationManager : public AnimationManager {
public:
    class AnimationSequenceCollection final : public AnimationSequenceCollectionType {
    public:
        enum class AnimationSequenceType { WumbleIdle, WumbleBlink };

        AnimationSequenceCollection(AnimationSequenceType sequence,
                                    std::optional<AnimationSequence> idle,
                                    std::function<int()> drawHoldSeconds);

        std::string sequence() const override;
        std::optional<AnimationSequence> idle() const override { return m_idle; }
        std::optional<AnimationSequence> idleScan() const override { return std::nullopt; }
        AnimationSequence makeSequence(std::function<void()> completion) const override;

        static std::optional<AnimationSequenceType> fromRawValue(std::string_view rawValue);

    private:
        AnimationSequenceType m_sequence;
        std::optional<AnimationSequence> m_idle;
        std::function<int()> m_drawHoldSeconds;
    };

    // `random` draws the whole numbers 0 or 1 of the hold times; tests pass their own.
    explicit ConnectionMonitorAnimationManager(Scheduler& scheduler = Scheduler::system(),
                                               std::function<int()> random = {});

    void start(FrameCallback onFrameChange);

private:
    void queueBlink();
    void queueIdle();

    std::function<int()> m_random;
    std::shared_ptr<AnimationSequenceCollection> m_wumbleIdleReference;
    std::shared_ptr<AnimationSequenceCollection> m_wumbleBlinkReference;
};

}  // namespace tarnwick
