#include "Screens/AppMonitor/Views/ApplicationIcon.h"

#include "Foundation/OutsideFile.h"
#include "Screens/AppMonitor/PUApplication.h"
#include "Workspace/DesktopEntry.h"
#include "Workspace/IconTheme.h"
#include "Workspace/Workspace.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QSvgRenderer>

#include <algorithm>

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

// The icon of a theme name, found and read by us rather than by QIcon::fromTheme: Qt opens a theme
// file the plain way when it paints, and a FIFO planted under a theme folder would then hold the
// window for good. Qt's own search paths (the platform's, or a test's) follow the standard ones.
QIcon fromTheme(const std::string& name) {
    auto folders = IconTheme::Folders::fromEnvironment();
    for (const QString& path : QIcon::themeSearchPaths()) {
        const std::filesystem::path folder = path.toStdString();
        if (folder.is_absolute() &&
            std::find(folders.baseDirectories.begin(), folders.baseDirectories.end(), folder) ==
                folders.baseDirectories.end()) {
            folders.baseDirectories.push_back(folder);
        }
    }
    const IconTheme theme(std::move(folders), QIcon::themeName().toStdString());
    const auto icon = theme.lookup(name, ApplicationIcon::largestSide);
    if (!icon) {
        return {};
    }
    const QByteArray bytes =
        QByteArray::fromRawData(icon->bytes.data(), qsizetype(icon->bytes.size()));
    if (icon->format == IconTheme::Icon::Format::svg) {
        QSvgRenderer renderer(bytes);
        if (!renderer.isValid()) {
            return {};
        }
        QImage image(ApplicationIcon::largestSide, ApplicationIcon::largestSide,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        renderer.render(&painter);
        painter.end();
        return QIcon(QPixmap::fromImage(image));
    }
    QPixmap pixmap;
    if (!pixmap.loadFromData(bytes, icon->format == IconTheme::Icon::Format::xpm ? "XPM" : "PNG")) {
        return {};
    }
    return QIcon(pixmap);
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
