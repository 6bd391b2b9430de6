#pragma once

namespace tarnwick {

// Lets the Qt event loop run the main queue: work queued from any thread is drained on the GUI
// thread in its next event-loop turn. Install once, after the QCoreApplication exists.
class MainQueueBridge {
public:
    static void install();
    static void uninstall();
};

}  // namespace tarnwick
