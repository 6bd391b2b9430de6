#pragma once

namespace tarnwick {

// Lets the Qt event loop serve the main thread's XPC loop: the socket of the application's link to
// the extension is watched by Qt itself, so a message from the extension wakes the main thread
// once and is handled there, with no I/O thread in between. Install once, after the
// QCoreApplication exists and before the link connects; a link made before keeps its own thread.
class MainThreadLinkBridge {
public:
    static void install();
    // Before the QCoreApplication goes: links still open end here.
    static void uninstall();
};

}  // namespace tarnwick
