#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

#include <string_view>

namespace tarnwick {

// The application's drawn images (mascot frames, icons, logo, screenshot) and symbols, SVGs kept
// as Qt resources and asked for by name. Template images and symbols are single-colour shapes
// that take the colour a view gives them.
class ImageAsset {
public:
    static bool exists(std::string_view name);
    // The SVG's own size, or an empty size when there is no such image.
    static QSize naturalSize(std::string_view name);
    // Rendered at the size for the device pixel ratio; a null pixmap when there is no such image.
    static QPixmap pixmap(std::string_view name, QSize size, qreal devicePixelRatio = 1.0);
    // Rendered as a template: every painted pixel takes the colour, keeping its alpha.
    static QPixmap tinted(std::string_view name, QSize size, const QColor& color,
                          qreal devicePixelRatio = 1.0);
    static QString resourcePath(std::string_view name);
};

}  // namespace tarnwick
