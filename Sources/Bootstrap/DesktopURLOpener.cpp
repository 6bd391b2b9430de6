#include "DesktopURLOpener.h"

#include "Screens/ConnectionsMonitor/LocationManager.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tarnwick {

DesktopURLOpener::DesktopURLOpener(QStringList programFolders)
    : m_programFolders(std::move(programFolders)) {}

bool DesktopURLOpener::open(const std::string& url) {
    if (url == LocationManager::kLocationServicesURL) {
        return openLocationSettings();
    }
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http") &&
         scheme != QLatin1String("mailto"))) {
        return false;
    }
    return QDesktopServices::openUrl(address);
}

bool DesktopURLOpener::openLocationSettings() const {
    // The desktops whose settings have a location page, and how to open it there.
    static const struct {
        const char* program;
        const char* page;
    } kSettings[] = {{"gnome-control-center", "location"}};
    for (const auto& settings : kSettings) {
        const QString program =
            QStandardPaths::findExecutable(QString::fromLatin1(settings.program), m_programFolders);
        if (!program.isEmpty() &&
            QProcess::startDetached(program, {QString::fromLatin1(settings.page)})) {
            return true;
        }
    }
    return false;
}

}  // namespace tarnwick
