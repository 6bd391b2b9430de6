#pragma once

#include <string>

namespace tarnwick {

// The alerts the application may show as it starts: the offer to move it into an Applications
// folder, a move that failed, and what an update check found. The Qt layer shows them as message
// boxes; tests answer them. Called on the main thread.
class StartupAlertPresenter {
public:
    virtual ~StartupAlertPresenter() = default;
    // True when the user chose to move; `informativeText` says what the move involves.
    virtual bool confirmMove(const std::string& informativeText) = 0;
    virtual void reportMoveFailure(const std::string& message) = 0;
    virtual void reportUpdateCheck(const std::string& message) = 0;
};

}  // namespace tarnwick
