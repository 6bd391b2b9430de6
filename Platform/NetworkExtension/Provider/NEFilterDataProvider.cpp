#include "NEFilterDataProvider.h"

namespace tarnwick {

void NEFilterDataProvider::resumeFlow(const std::shared_ptr<NEFilterFlow>& flow,
                                      const NEFilterNewFlowVerdict& verdict) {
    if (!flow || verdict.kind() == NEFilterNewFlowVerdict::Kind::pause) {
        return;
    }
    std::shared_ptr<NEFilterFlowResumer> resumer;
    {
        std::lock_guard lock(m_mutex);
        resumer = m_resumer.lock();
    }
    if (resumer) {
        resumer->resumeFlow(flow->identifier(), verdict);
    }
}

void NEFilterDataProvider::setFlowResumer(std::weak_ptr<NEFilterFlowResumer> resumer) {
    std::lock_guard lock(m_mutex);
    m_resumer = std::move(resumer);
}

}  // namespace tarnwick
