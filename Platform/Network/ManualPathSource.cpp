#include "ManualPathSource.h"

#include <utility>

namespace tarnwick {

void ManualPathSource::start(Observer observer) {
    NetworkPath path;
    {
        std::lock_guard lock(m_mutex);
        m_observer = observer;
        path = m_path;
    }
    observer(path);
}

void ManualPathSource::stop() {
    Observer released;
    std::lock_guard lock(m_mutex);
    released = std::exchange(m_observer, nullptr);
}

void ManualPathSource::setPath(NetworkPath path) {
    Observer observer;
    {
        std::lock_guard lock(m_mutex);
        m_path = path;
        observer = m_observer;
    }
    if (observer) {
        observer(path);
    }
}

bool ManualPathSource::isStarted() const {
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_observer);
}

}  // namespace tarnwick
