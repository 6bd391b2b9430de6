#pragma once

#include "NEFilterFlow.h"
#include "NEFilterFlowResumer.h"
#include "NEFilterNewFlowVerdict.h"
#include "NEFilterProvider.h"

#include <memory>
#include <mutex>

namespace tarnwick {

// A filter that sees each new flow and answers allow, drop or pause. `handleNewFlow` is called on
// the host's packet thread and must answer at once; a paused flow is decided later, from any
// thread, with `resumeFlow`. A flow that is not resumed within a minute is let through by the
// host, so a lost answer never holds a connection for good.
class NEFilterDataProvider : public NEFilterProvider {
public:
    virtual NEFilterNewFlowVerdict handleNewFlow(const std::shared_ptr<NEFilterFlow>& flow) = 0;

    // Resumes a paused flow with allow or drop. A flow that is not paused (already resumed, timed
    // out, or the filter stopped) is left alone.
    void resumeFlow(const std::shared_ptr<NEFilterFlow>& flow,
                    const NEFilterNewFlowVerdict& verdict);

    // Set by the host before the filter starts; held weakly.
    void setFlowResumer(std::weak_ptr<NEFilterFlowResumer> resumer);

private:
    std::mutex m_mutex;
    std::weak_ptr<NEFilterFlowResumer> m_resumer;
};

}  // namespace tarnwick
