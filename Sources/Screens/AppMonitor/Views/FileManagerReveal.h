#pragma once

#include <QDBusConnection>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// Shows an item selected in the desktop's file manager: the freedesktop FileManager1 ShowItems
// call on the session bus, asked without waiting; where no file manager answers it, the item's
// folder opens with the desktop's handler (xdg-open). The path is one argument of either, never
// command text.
//
// The handler says it found nothing to open a folder with by ending with a failure status, which
// may take it a while; a handler that has a file manager may instead run it in the foreground
// until the user closes it. So its end is awaited off the GUI thread, and one still running after
// `handlerGrace` is taken to have opened the folder.
class FileManagerReveal {
public:
    // Starts a program detached (argument vector) and calls `onEnded` with its exit status, on
    // any thread, when it ends; false when it cannot start. The default is the real one.
    using Launcher = std::function<bool(const std::vector<std::string>& arguments,
                                        std::function<void(int exitStatus)> onEnded)>;
    // How it went: the file manager showed it, the folder was opened, the item is not there, or
    // nothing could show it.
    enum class Outcome { shownByFileManager, folderOpened, missing, failed };

    static constexpr std::chrono::milliseconds defaultHandlerGrace{10000};

    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               Launcher launcher = {},
                               std::chrono::milliseconds handlerGrace = defaultHandlerGrace);

    // `done`, if any, runs once on the main thread. An item that does not exist is `missing` at
    // once.
    void show(const std::filesystem::path& item, std::function<void(Outcome)> done = {}) const;

    static constexpr int callTimeoutMilliseconds = 5000;

private:
    QDBusConnection m_bus;
    Launcher m_launcher;
    std::chrono::milliseconds m_handlerGrace;
};

}  // namespace tarnwick
