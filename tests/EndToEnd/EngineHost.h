#pragma once

#include <memory>

namespace tarnwick {
class ConnectionsMonitorViewModel;
}

namespace tarnwick::testing {

// A screen over the engine: it is given the model once made, presses the monitor's switch itself,
// hears of each change of the tree and runs the main loop. Used for testing only.
class EngineHostScreen {
public:
    virtual ~EngineHostScreen() = default;
    virtual void show(std::shared_ptr<ConnectionsMonitorViewModel> model) = 0;
    virtual void treeChanged() = 0;
    virtual void run() = 0;
    virtual void stop() = 0;
};

// A headless application over the real connection monitor engine, for the end-to-end test and the
// benchmark; its arguments and output are described beside it. With a screen, the screen starts
// the monitor and runs the loop.
int runEngineHost(int argc, char** argv, EngineHostScreen* screen = nullptr);

}  // namespace tarnwick::testing
