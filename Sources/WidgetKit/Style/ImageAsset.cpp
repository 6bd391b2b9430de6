#include "WidgetKit/Style/ImageAsset.h"

#include "QtSupport/Utf8Text.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

// The resources live in a static library, so Qt learns of them only when asked (outside any
// namespace, as the macro needs).
static void registerShellAssets() {
    Q_INIT_RESOURCE(ShellAssets);
}

namespace tarnwick {

namespace {

void initialiseResources() {
    static const bool registered = [] {
        registerShellAssets();
        return true;
    }();
    (void)registered;
}

}  // namespace

QString ImageAsset::resourcePath(std::string_view name) {
    initialiseResources();
    const QString file = qtext(name) + QStringLiteral(".svg");
    for (const QString& folder : {QStringLiteral(":/Images/"), QStringLiteral(":/Symbols/")}) {
        const QString path = folder + file;
        if (QFile::exists(path)) {
            return path;
        }
    }
    return {};
}

bool ImageAsset::exists(std::string_view name) {
    return !resourcePath(name).isEmpty();
}

QSize ImageAsset::naturalSize(std::string_view name) {
    const QString path = resourcePath(name);
    if (path.isEmpty()) {
        return {};
    }
    QSvgRenderer renderer(path);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap ImageAsset::pixmap(std::string_view name, QSize size, qreal devicePixelRatio) {
    const QString path = resourcePath(name);
    if (path.isEmpty() || size.isEmpty()) {
        if (path.isEmpty()) {
            qWarning("No image named \"%.*s\".", int(name.size()), name.data());
        }
        return {};
    }
    QSvgRenderer renderer(path);
    QPixmap result(size * devicePixelRatio);
    result.setDevicePixelRatio(devicePixelRatio);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return result;
}

QPixmap ImageAsset::tinted(std::string_view name, QSize size, const QColor& color,
                           qreal devicePixelRatio) {
    QPixmap result = pixmap(name, size, devicePixelRatio);
    if (result.isNull()) {
        return result;
    }
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), color);
    return result;
}

}  // namespace tarnwick
