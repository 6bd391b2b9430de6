#include "OSLogThrottle.h"

#include <string>
#include <utility>

namespace tarnwick {

void OSLogThrottle::log(std::string_view message, OSLogType type, const OSLog& log,
                        Clock::time_point now) {
    std::size_t leftOut = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_lastLine && now < *m_lastLine + m_interval) {
            ++m_leftOut;
            return;
        }
        m_lastLine = now;
        leftOut = std::exchange(m_leftOut, 0);
    }
    if (leftOut == 0) {
        log.log(type, message);
        return;
    }
    log.log(type,
            std::string(message) + " (" + std::to_string(leftOut) + " more like it were left out)");
}

}  // namespace tarnwick
