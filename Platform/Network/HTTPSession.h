#pragma once

#include "Dispatch/DispatchQueue.h"
#include "HTTPRequest.h"
#include "HTTPResult.h"
#include "HTTPTask.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace tarnwick {

// A client of web services: sends requests and hands each outcome to its completion on the
// session's callback queue, exactly once. Requests of all sessions share one transfer engine.
// Ending the session (or invalidating it) cancels what it still has running; the completions of
// those requests then report a cancellation.
class HTTPSession {
public:
    using Completion = std::function<void(HTTPResult)>;

    explicit HTTPSession(std::shared_ptr<DispatchQueue> callbackQueue = DispatchQueue::global());
    ~HTTPSession();
    HTTPSession(const HTTPSession&) = delete;
    HTTPSession& operator=(const HTTPSession&) = delete;

    std::shared_ptr<HTTPTask> send(const HTTPRequest& request, Completion completion);

    // Cancels the running requests; later requests fail at once with a cancellation.
    void invalidateAndCancel();

private:
    struct State {
        std::mutex mutex;
        bool invalidated = false;
        std::set<std::uint64_t> running;
    };

    std::shared_ptr<DispatchQueue> m_callbackQueue;
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
