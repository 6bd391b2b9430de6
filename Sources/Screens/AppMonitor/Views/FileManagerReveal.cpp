#include "Screens/AppMonitor/Views/FileManagerReveal.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Process.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUrl>

#include <memory>

namespace tarnwick {

FileManagerReveal::FileManagerReveal(QDBusConnection bus, Launcher launcher,
                                     std::chrono::milliseconds handlerGrace)
    : m_bus(std::move(bus)), m_launcher(std::move(launcher)), m_handlerGrace(handlerGrace) {
    if (!m_launcher) {
        m_launcher = [](const std::vector<std::string>& arguments,
                        std::function<void(int)> onEnded) {
            return Process::launchDetached(arguments, std::move(onEnded)).ok();
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
        finish(Outcome::missing);
        return;
    }
    std::filesystem::path shown = item;
    if (!shown.has_filename()) {
        shown = shown.parent_path();  // "X.app/" is X.app
    }
    const auto openFolder = [launcher = m_launcher, grace = m_handlerGrace,
                             folder = shown.parent_path().string(), finish] {
        // Whichever comes first on the main queue settles it: the handler's end or the grace.
        auto settled = std::make_shared<bool>(false);
        const auto settle = [settled, finish](Outcome outcome) {
            if (!*settled) {
                *settled = true;
                finish(outcome);
            }
        };
        const bool started = launcher({"xdg-open", folder}, [settle](int exitStatus) {
            DispatchQueue::main()->async([settle, exitStatus] {
                settle(exitStatus == 0 ? Outcome::folderOpened : Outcome::failed);
            });
        });
        if (!started) {
            settle(Outcome::failed);
            return;
        }
        DispatchQueue::main()->asyncAfter(grace, [settle] { settle(Outcome::folderOpened); });
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
