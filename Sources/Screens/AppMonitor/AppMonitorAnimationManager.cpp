#include "AppMonitorAnimationManager.h"

#include "AppMonitorViewModel.h"
#include "InterfaceText.h"
#include "Tools/AnimationQueue.h"

#include <chrono>
#include <random>
#include <unordered_set>

namespace tarnwick {

namespace {

using Kind = AppMonitorAnimationManager::Kind;
using namespace InterfaceText;

std::string text(std::string_view view) {
    return std::string(view);
}

constexpr double blinkRate = 0.04;

}  // namespace

AppMonitorAnimationManager::AnimationSequenceCollection::AnimationSequenceCollection(
    AnimationSequenceType sequence, RandomInteger random)
    : m_sequence(sequence), m_random(std::move(random)) {
    const auto name = rawValue(sequence);
    m_idle = AnimationSequence(name, {text(quendleWelcome1)}, m_random(1, 2));
    m_idleScan = AnimationSequence(name, {text(quendleIdle1)}, 1.0);
}

std::string AppMonitorAnimationManager::AnimationSequenceCollection::rawValue(
    AnimationSequenceType type) {
    switch (type) {
        case Kind::QuendleIdle:
            return "QuendleIdle";
        case Kind::QuendleIdleScan:
            return "QuendleIdleScan";
        case Kind::QuendleBlink:
            return "QuendleBlink";
        case Kind::QuendleBlinkScan:
            return "QuendleBlinkScan";
        case Kind::QuendleThinking:
            return "QuendleThinking";
        case Kind::QuendleFound:
            return "QuendleFound";
    }
    return {};
}

AnimationSequence AppMonitorAnimationManager::AnimationSequenceCollection::makeSequence(
    std::function<void()> completion) const {
    const auto name = rawValue(m_sequence);
    switch (m_sequence) {
        case Kind::QuendleIdle:
            return AnimationSequence(name, {text(quendleWelcome1)}, m_random(1, 3),
                                     std::move(completion));
        case Kind::QuendleIdleScan:
            return AnimationSequence(name, {text(quendleIdle1)}, m_random(1, 2),
                                     std::move(completion));
        case Kind::QuendleBlink:
            return AnimationSequence(
                name,
                {text(quendleWelcome1), text(quendleWelcome2), text(quendleWelcome3),
                 text(quendleWelcome2), text(quendleWelcome1)},
                blinkRate, std::move(completion));
        case Kind::QuendleBlinkScan:
            return AnimationSequence(name,
                                     {text(quendleIdle1), text(quendleIdle2), text(quendleIdle3),
                                      text(quendleIdle2), text(quendleIdle1)},
                                     blinkRate, std::move(completion));
        case Kind::QuendleThinking:
        case Kind::QuendleFound:
            // The thinking loop has no completion: it plays until something else is queued.
            return AnimationSequence(rawValue(Kind::QuendleThinking),
                                     {text(quendleSuspicious1), text(quendleSuspicious2)}, 0.5);
    }
    return AnimationSequence(name, {}, 1.0);
}

AppMonitorAnimationManager::AnimationSequenceCollection::RandomInteger
AppMonitorAnimationManager::systemRandom() {
    return [](int low, int high) {
        thread_local std::mt19937 engine{std::random_device{}()};
        return std::uniform_int_distribution<int>(low, high)(engine);
    };
}

AppMonitorAnimationManager::AppMonitorAnimationManager(
    Scheduler& scheduler, AnimationSequenceCollection::RandomInteger random)
    : AnimationManager(scheduler)
    , m_scheduler(scheduler)
    , m_quendleIdleReference(Kind::QuendleIdle, random)
    , m_quendleIdleScanReference(Kind::QuendleIdleScan, random)
    , m_quendleBlinkReference(Kind::QuendleBlink, random)
    , m_quendleBlinkScanReference(Kind::QuendleBlinkScan, random)
    , m_quendleBlinkThinking(Kind::QuendleThinking, random)
    , m_mainQueue(DispatchQueue::main())
    , m_random(random) {
    auto collection = std::make_shared<AnimationSequenceCollection>(Kind::QuendleIdle, random);
    setSequenceCollection(collection);
    setAnimationQueue(std::make_shared<AnimationQueue>(collection, scanState()));
}

void AppMonitorAnimationManager::append(const AnimationSequenceCollection& collection,
                                        std::function<void()> completion) {
    if (const auto& queue = animationQueue()) {
        queue->queue().push_back(collection.makeSequence(std::move(completion)));
    }
}

void AppMonitorAnimationManager::queueStandByBlink() {
    if (!m_isIdle || scanState() != ScanState::standBy || !animationQueue()) {
        return;
    }
    std::weak_ptr<AnimationManager> weak = weak_from_this();
    append(m_quendleBlinkReference, [weak] {
        auto self = std::static_pointer_cast<AppMonitorAnimationManager>(weak.lock());
        if (!self) {
            return;
        }
        self->append(self->m_quendleIdleReference, [weak] {
            if (auto again = std::static_pointer_cast<AppMonitorAnimationManager>(weak.lock())) {
                again->queueStandByBlink();
            }
        });
    });
}

void AppMonitorAnimationManager::queueScanBlink() {
    if (!m_isIdle || m_isAnalyzing || !animationQueue()) {
        return;
    }
    std::weak_ptr<AnimationManager> weak = weak_from_this();
    append(m_quendleBlinkScanReference, [weak] {
        auto self = std::static_pointer_cast<AppMonitorAnimationManager>(weak.lock());
        if (!self) {
            return;
        }
        self->append(self->m_quendleIdleScanReference, [weak] {
            if (auto again = std::static_pointer_cast<AppMonitorAnimationManager>(weak.lock())) {
                again->queueScanBlink();
            }
        });
    });
}

void AppMonitorAnimationManager::start(FrameCallback onFrameChange) {
    setAnimationTimer(nullptr);
    if (const auto queue = animationQueue()) {
        setAnimationTimer(startTimer(queue, std::move(onFrameChange)));
    }
    queueStandByBlink();
}

void AppMonitorAnimationManager::startScanAnimation(std::weak_ptr<AppMonitorViewModel> model) {
    if (auto alive = model.lock()) {
        alive->setCurrentQuendleFrame(text(quendleScanStartFrame));
    }
    setScanState(ScanState::active);
    if (const auto& queue = animationQueue()) {
        queue->setScanState(ScanState::active);
        (void)queue->resetToDefaultSequence();  // only the list matters here
    }
    if (m_animationWorkItem) {
        m_animationWorkItem->cancel();
        m_animationWorkItem.reset();
    }
    m_isIdle = true;
    m_isAnalyzing = false;
    setAnimationTimer(nullptr);
    queueScanBlink();
    if (const auto queue = animationQueue()) {
        setAnimationTimer(startTimer(queue, [model](const std::string& frame) {
            if (auto alive = model.lock()) {
                alive->setCurrentQuendleFrame(frame);
            }
        }));
        if (animationTimer()) {
            animationTimer()->fire();
        }
    }
}

void AppMonitorAnimationManager::startThinkingAnimation() {
    const auto& queue = animationQueue();
    if (!queue) {
        return;
    }
    std::vector<AnimationSequence> distinct;
    std::unordered_set<std::string> names;
    for (auto& sequence : queue->queue()) {
        if (names.insert(sequence.name()).second) {
            distinct.push_back(std::move(sequence));
        }
    }
    queue->queue() = std::move(distinct);
    append(m_quendleBlinkThinking, {});
    m_isAnalyzing = true;
}

void AppMonitorAnimationManager::scheduleFoundAnimation(FrameCallback onFrameChange,
                                                        std::function<void()> completion) {
    if (m_animationWorkItem) {
        m_animationWorkItem->cancel();
    }
    std::weak_ptr<AnimationManager> weak = weak_from_this();
    m_animationWorkItem = std::make_shared<DispatchWorkItem>(
        [weak, onFrameChange = std::move(onFrameChange), completion = std::move(completion)] {
            auto self = std::static_pointer_cast<AppMonitorAnimationManager>(weak.lock());
            if (!self) {
                return;
            }
            self->setAnimationTimer(nullptr);
            if (const auto& queue = self->animationQueue()) {
                queue->queue().clear();
            }
            onFrameChange(text(quendleFound));
            self->m_mainQueue->asyncAfter(std::chrono::seconds(1), completion, self->m_scheduler);
            if (const auto& queue = self->animationQueue()) {
                (void)queue->resetToDefaultSequence();  // no timer plays it: "Found" stays
            }
            self->m_isAnalyzing = false;
        });
    m_mainQueue->asyncAfter(std::chrono::seconds(1), m_animationWorkItem, m_scheduler);
}

}  // namespace tarnwick
