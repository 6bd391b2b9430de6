#pragma once

#include <QDBusConnection>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// Shows an item selected in the desktop's file manager: the freedesktop FileManager1 ShowItems
// call on the session bus, asked without waiting; where no file manager answers it, the item's
// folder opens with the desktop's handler (xdg-open). The path is one argument of either, never
// command text.
class FileManagerReveal {
public:
    // Starts a program detached (argument vector); the default is the real one.
    using Launcher = std::function<bool(const std::vector<std::string>& arguments)>;
    // How it went: the file manager showed it, the folder was opened, or nothing happened.
    enum class Outcome { shownByFileManager, folderOpened, failed };

    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               Launcher launcher = {});

    // `done`, if any, runs once on the main thread. An item that does not exist fails at once.
    void show(const std::filesystem::path& item, std::function<void(Outcome)> done = {}) const;

    static constexpr int callTimeoutMilliseconds = 5000;

private:
    QDBusConnection m_bus;
    Launcher m_launcher;
};

}  // namespace tarnwick
