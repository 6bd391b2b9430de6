#pragma once

#include "AnimationSequence.h"

#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// A mascot's table of sequences: which kind of sequence it stands for, the default sequences for
// the idle screen and for a running scan or monitor, and the builder of the sequence that plays.
// Each mascot manager has its own, over its own enumeration of sequence kinds.
class AnimationSequenceCollectionType {
public:
    virtual ~AnimationSequenceCollectionType() = default;

    // The raw value of the sequence kind that this collection stands for.
    virtual std::string sequence() const = 0;
    // The default for every scan state but active.
    virtual std::optional<AnimationSequence> idle() const = 0;
    // The default while a scan or the monitor is active.
    virtual std::optional<AnimationSequence> idleScan() const = 0;
    // The sequence of this collection's kind that plays, with the given completion.
    virtual AnimationSequence makeSequence(std::function<void()> completion) const = 0;
};

}  // namespace tarnwick
