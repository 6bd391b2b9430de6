#pragma once

#include "NEFilterNewFlowVerdict.h"

#include <cstdint>

namespace tarnwick {

// The host's side of resuming a paused flow: where a data provider's resumed verdicts go.
class NEFilterFlowResumer {
public:
    virtual ~NEFilterFlowResumer() = default;
    virtual void resumeFlow(std::uint64_t flowIdentifier,
                            const NEFilterNewFlowVerdict& verdict) = 0;
};

}  // namespace tarnwick
