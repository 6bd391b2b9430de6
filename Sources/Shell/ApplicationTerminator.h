#pragma once

#include <functional>

namespace tarnwick {

// The one way the interface asks the application to quit (menu, close button, Quit command), so
// that the application delegate can switch the filter off first. Until the delegate installs its
// handler, nothing quits. Main thread only.
class ApplicationTerminator {
public:
    static void setHandler(std::function<void()> handler);
    static void terminate();
};

}  // namespace tarnwick
