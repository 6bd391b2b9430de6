#include "DesktopURLOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace tarnwick {

bool DesktopURLOpener::open(const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http") &&
         scheme != QLatin1String("mailto"))) {
        return false;
    }
    return QDesktopServices::openUrl(address);
}

}  // namespace tarnwick
