#include "Screens/AppMonitor/Views/FileManagerReveal.h"

#include "Foundation/Process.h"

#include <QDBusMessage>
#include <QUrl>

namespace tarnwick {

FileManagerReveal::FileManagerReveal(QDBusConnection bus, Launcher launcher)
    : m_bus(std::move(bus)), m_launcher(std::move(launcher)) {
    if (!m_launcher) {
        m_launcher = [](const std::vector<std::string>& arguments) {
            return Process::launchDetached(arguments).ok();
        };
    }
}

bool FileManagerReveal::show(const std::filesystem::path& item) const {
    std::error_code error;
    if (item.empty() || !item.is_absolute() || !std::filesystem::exists(item, error)) {
        return false;
    }
    const QString uri =
        QUrl::fromLocalFile(QString::fromStdString(item.string())).toString(QUrl::FullyEncoded);
    if (m_bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{uri} << QString();
        const QDBusMessage reply = m_bus.call(call, QDBus::Block, callTimeoutMilliseconds);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return true;
        }
    }
    const auto folder = item.has_filename() ? item.parent_path() : item.parent_path().parent_path();
    return m_launcher({"xdg-open", folder.string()});
}

}  // namespace tarnwick
