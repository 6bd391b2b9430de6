#include "WidgetKit/Style/ThemeIcon.h"

#include "Workspace/IconTheme.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <filesystem>

namespace tarnwick {

QPixmap ThemeIcon::pixmap(const std::string& name, int side) {
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
    const auto icon = theme.lookup(name, side);
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
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        renderer.render(&painter);
        painter.end();
        return QPixmap::fromImage(image);
    }
    QPixmap pixmap;
    if (!pixmap.loadFromData(bytes, icon->format == IconTheme::Icon::Format::xpm ? "XPM" : "PNG")) {
        return {};
    }
    return pixmap;
}

}  // namespace tarnwick
