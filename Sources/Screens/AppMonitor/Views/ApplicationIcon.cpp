#include "Screens/AppMonitor/Views/ApplicationIcon.h"

#include "Foundation/OutsideFile.h"
#include "Screens/AppMonitor/PUApplication.h"
#include "WidgetKit/Style/ThemeIcon.h"
#include "Workspace/DesktopEntry.h"
#include "Workspace/Workspace.h"

#include <QApplication>
#include <QPixmap>
#include <QStyle>

namespace tarnwick {

namespace {

QIcon fromPNG(const std::optional<IconImage>& image) {
    QPixmap pixmap;
    if (!image || image->png.empty() ||
        !pixmap.loadFromData(image->png.data(), uint(image->png.size()), "PNG")) {
        return {};
    }
    return QIcon(pixmap);
}

QIcon fromTheme(const std::string& name) {
    const QPixmap pixmap = ThemeIcon::pixmap(name, ApplicationIcon::largestSide);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

// An entry's Icon key: an absolute path is read as a file (safely: the entry may name anything),
// anything else is a name in the icon theme.
QIcon fromDesktopEntry(const std::filesystem::path& file) {
    const auto entry = DesktopEntry::read(file, file.stem().string());
    if (!entry || !entry->icon() || entry->icon()->empty()) {
        return {};
    }
    const std::filesystem::path icon = *entry->icon();
    if (icon.is_absolute()) {
        const auto bytes = OutsideFile::read(icon, ApplicationIcon::maximumImageFileBytes);
        QPixmap pixmap;
        if (!bytes || !pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes->data()),
                                           static_cast<uint>(bytes->size()))) {
            return {};
        }
        return QIcon(pixmap);
    }
    return fromTheme(*entry->icon());
}

}  // namespace

QIcon ApplicationIcon::own(const PUApplication& application, const Workspace& workspace) {
    if (QIcon icon = fromPNG(application.icon()); !icon.isNull()) {
        return icon;
    }
    const auto& location = application.bundleURL();
    if (!location) {
        return {};
    }
    if (location->extension() == ".desktop") {
        return fromDesktopEntry(*location);
    }
    return fromPNG(workspace.iconForFile(*location));
}

QIcon ApplicationIcon::generic() {
    if (QIcon icon = fromTheme("application-x-executable"); !icon.isNull()) {
        return icon;
    }
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon ApplicationIcon::of(const PUApplication& application, const Workspace& workspace) {
    QIcon icon = own(application, workspace);
    return icon.isNull() ? generic() : icon;
}

QIcon ApplicationIcon::of(const PUApplication& application) {
    return of(application, Workspace::shared());
}

}  // namespace tarnwick
