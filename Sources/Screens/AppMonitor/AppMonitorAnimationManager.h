#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DispatchWorkItem.h"
#include "Dispatch/Scheduler.h"
#include "Tools/AnimationManager.h"
#include "Tools/AnimationSequenceCollectionType.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

class AppMonitorViewModel;

// The App Monitor's mascot: a slow idle-and-blink loop while the screen stands by, another while
// a scan runs, a two-frame thinking loop while the results are analysed, and the still "Found"
// frame one second after a scan found applications. The loops chain themselves through the
// completions of their sequences. Main thread only.
class AppMonitorAnimationManager : public AnimationManager {
public:
    // The recipes of the mascot's sequences.
    class AnimationSequenceCollection final : public AnimationSequenceCollectionType {
    public:
        enum class AnimationSequenceType {
            QuendleIdle,
            QuendleIdleScan,
            QuendleBlink,
            QuendleBlinkScan,
            QuendleThinking,
            QuendleFound,
        };
        // A whole number from `low` to `high`, drawn uniformly.
        using RandomInteger = std::function<int(int low, int high)>;

        AnimationSequenceCollection(AnimationSequenceType sequence, RandomInteger random);

        static std::string rawValue(AnimationSequenceType type);

        std::string sequence() const override { return rawValue(m_sequence); }
        std::optional<AnimationSequence> idle() const override { return m_idle; }
        std::optional<AnimationSequence> idleScan() const override { return m_idleScan; }
        AnimationSequence makeSequence(std::function<void()> completion) const override;

    private:
        AnimationSequenceType m_sequence;
        RandomInteger m_random;
        std::optional<AnimationSequence> m_idle;
        std::optional<AnimationSequence> m_idleScan;
    };
    using Kind = AnimationSequenceCollection::AnimationSequenceType;

    // Made with std::make_shared. `scheduler` runs the frame timer and the delayed found step;
    // `random` draws the idle pauses. Tests pass a manual clock and fixed draws.
    explicit AppMonitorAnimationManager(
        Scheduler& scheduler = Scheduler::system(),
        AnimationSequenceCollection::RandomInteger random = systemRandom());

    static AnimationSequenceCollection::RandomInteger systemRandom();

    void start(FrameCallback onFrameChange);
    // `model` is held weakly.
    void startScanAnimation(std::weak_ptr<AppMonitorViewModel> model);
    void startThinkingAnimation();
    void scheduleFoundAnimation(FrameCallback onFrameChange, std::function<void()> completion);

    bool isIdle() const { return m_isIdle; }
    void setIsIdle(bool isIdle) { m_isIdle = isIdle; }
    bool isAnalyzing() const { return m_isAnalyzing; }
    void setIsAnalyzing(bool isAnalyzing) { m_isAnalyzing = isAnalyzing; }

private:
    void append(const AnimationSequenceCollection& collection, std::function<void()> completion);
    void queueStandByBlink();
    void queueScanBlink();

    Scheduler& m_scheduler;
    AnimationSequenceCollection m_quendleIdleReference;
    AnimationSequenceCollection m_quendleIdleScanReference;
    AnimationSequenceCollection m_quendleBlinkReference;
    AnimationSequenceCollection m_quendleBlinkScanReference;
    AnimationSequenceCollection m_quendleBlinkThinking;
    bool m_isIdle = true;
    bool m_isAnalyzing = false;
    std::shared_ptr<DispatchWorkItem> m_animationWorkItem;
    std::shared_ptr<DispatchQueue> m_mainQueue;
    AnimationSequenceCollection::RandomInteger m_random;
};

}  // namespace tarnwick
