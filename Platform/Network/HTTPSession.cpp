#include "HTTPSession.h"

#include "CurlEngine.h"

#include <utility>
#include <vector>

namespace tarnwick {

HTTPSession::HTTPSession(std::shared_ptr<DispatchQueue> callbackQueue)
    : m_callbackQueue(std::move(callbackQueue)), m_state(std::make_shared<State>()) {}

HTTPSession::~HTTPSession() {
    invalidateAndCancel();
}

std::shared_ptr<HTTPTask> HTTPSession::send(const HTTPRequest& request, Completion completion) {
    auto deliver = [queue = m_callbackQueue,
                    completion = std::move(completion)](HTTPResult result) {
        queue->async([completion, result = std::move(result)] { completion(result); });
    };

    auto& engine = CurlEngine::shared();
    const auto id = engine.makeTransferID();
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->invalidated) {
            deliver(HTTPError{HTTPError::Code::cancelled, "the session has been invalidated"});
            return std::make_shared<HTTPTask>(id);
        }
        // Noted before the transfer starts, since it may finish at once.
        m_state->running.insert(id);
    }
    engine.start(id, request,
                 [weakState = std::weak_ptr<State>(m_state), id, deliver](HTTPResult result) {
                     if (auto state = weakState.lock()) {
                         std::lock_guard lock(state->mutex);
                         state->running.erase(id);
                     }
                     deliver(std::move(result));
                 });
    {
        // An invalidation that came between noting and starting the transfer may have reached the
        // engine before the transfer did; cancelling again catches it.
        std::lock_guard lock(m_state->mutex);
        if (m_state->invalidated && m_state->running.contains(id)) {
            engine.cancel(id);
        }
    }
    return std::make_shared<HTTPTask>(id);
}

void HTTPSession::invalidateAndCancel() {
    std::vector<std::uint64_t> running;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->invalidated = true;
        running.assign(m_state->running.begin(), m_state->running.end());
    }
    for (const auto id : running) {
        CurlEngine::shared().cancel(id);
    }
}

}  // namespace tarnwick
