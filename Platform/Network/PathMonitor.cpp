#include "PathMonitor.h"

#include "NetlinkPathSource.h"

#include <utility>

namespace tarnwick {

PathMonitor::PathMonitor() : PathMonitor(std::make_shared<NetlinkPathSource>()) {}

PathMonitor::PathMonitor(std::shared_ptr<PathSource> source)
    : m_source(std::move(source)), m_state(std::make_shared<State>()) {}

PathMonitor::~PathMonitor() {
    cancel();
}

void PathMonitor::setPathUpdateHandler(UpdateHandler handler) {
    std::lock_guard lock(m_state->mutex);
    m_state->handler = std::move(handler);
}

void PathMonitor::start(std::shared_ptr<DispatchQueue> queue) {
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->started || m_state->cancelled) {
            return;
        }
        m_state->started = true;
    }
    m_source->start([weakState = std::weak_ptr<State>(m_state),
                     queue = std::move(queue)](const NetworkPath& path) {
        auto state = weakState.lock();
        if (!state) {
            return;
        }
        {
            std::lock_guard lock(state->mutex);
            if (state->cancelled || state->lastReported == path) {
                return;
            }
            state->lastReported = path;
        }
        queue->async([state, path] {
            UpdateHandler handler;
            {
                std::lock_guard lock(state->mutex);
                if (state->cancelled) {
                    return;
                }
                state->current = path;
                handler = state->handler;
            }
            if (handler) {
                handler(path);
            }
        });
    });
}

void PathMonitor::cancel() {
    UpdateHandler released;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->cancelled) {
            return;
        }
        m_state->cancelled = true;
        released = std::move(m_state->handler);
    }
    m_source->stop();
}

NetworkPath PathMonitor::currentPath() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->current;
}

}  // namespace tarnwick
