#include "Screens/AppMonitor/Views/ApplicationIcon.h"

#include "Screens/AppMonitor/PUApplication.h"

#include <QApplication>
#include <QStyle>

namespace tarnwick {

QIcon ApplicationIcon::own(const PUApplication& application) {
    const auto& icon = application.icon();
    if (!icon || icon->png.empty()) {
        return {};
    }
    QPixmap pixmap;
    if (!pixmap.loadFromData(icon->png.data(), uint(icon->png.size()), "PNG")) {
        return {};
    }
    return QIcon(pixmap);
}

QIcon ApplicationIcon::generic() {
    return QIcon::fromTheme(QStringLiteral("application-x-executable"),
                            QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

QIcon ApplicationIcon::of(const PUApplication& application) {
    QIcon icon = own(application);
    return icon.isNull() ? generic() : icon;
}

}  // namespace tarnwick
