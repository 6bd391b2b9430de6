#include "HTTPTask.h"

#include "CurlEngine.h"

namespace tarnwick {

void HTTPTask::cancel() {
    CurlEngine::shared().cancel(m_transfer);
}

}  // namespace tarnwick
