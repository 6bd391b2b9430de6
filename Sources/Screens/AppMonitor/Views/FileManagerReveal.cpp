#include "Screens/AppMonitor/Views/FileManagerReveal.h"

#include "Foundation/Process.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
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

void FileManagerReveal::show(const std::filesystem::path& item,
                             std::function<void(Outcome)> done) const {
    const auto finish = [done](Outcome outcome) {
        if (done) {
            done(outcome);
        }
    };
    std::error_code error;
    if (item.empty() || !item.is_absolute() || !std::filesystem::exists(item, error)) {
        finish(Outcome::failed);
        return;
    }
    std::filesystem::path shown = item;
    if (!shown.has_filename()) {
        shown = shown.parent_path();  // "X.app/" is X.app
    }
    const auto openFolder = [launcher = m_launcher, folder = shown.parent_path().string(), finish] {
        finish(launcher({"xdg-open", folder}) ? Outcome::folderOpened : Outcome::failed);
    };
    if (!m_bus.isConnected()) {
        openFolder();
        return;
    }
    const QString uri =
        QUrl::fromLocalFile(QString::fromStdString(shown.string())).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{uri} << QString();
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMilliseconds), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder, finish](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) {
                             openFolder();
                         } else {
                             finish(Outcome::shownByFileManager);
                         }
                     });
}

}  // namespace tarnwick
