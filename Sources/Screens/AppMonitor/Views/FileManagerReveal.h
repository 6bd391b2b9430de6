#pragma once

#include <QDBusConnection>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// Shows an item selected in the desktop's file manager: the freedesktop FileManager1 ShowItems
// call on the session bus; where no file manager answers it, the item's folder opens with the
// desktop's handler (xdg-open). The path is one argument of either, never command text.
class FileManagerReveal {
public:
    // Starts a program detached (argument vector); the default is the real one.
    using Launcher = std::function<bool(const std::vector<std::string>& arguments)>;

    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               Launcher launcher = {});

    // False when the item does not exist, or neither way could be started.
    bool show(const std::filesystem::path& item) const;

    static constexpr int callTimeoutMilliseconds = 3000;

private:
    QDBusConnection m_bus;
    Launcher m_launcher;
};

}  // namespace tarnwick
