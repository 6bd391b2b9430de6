#include "Screens/ConnectionsMonitor/Views/FlagImage.h"

#include <QFont>
#include <QHash>
#include <QPainter>

#include <cctype>

namespace tarnwick {

namespace {

// Rendered once per code at a size the emoji font draws crisply, then scaled per request.
QPixmap renderedFlag(const QString& emoji) {
    static QHash<QString, QPixmap> cache;
    if (const auto it = cache.find(emoji); it != cache.end()) {
        return *it;
    }
    QFont font(QStringLiteral("Noto Color Emoji"));
    font.setPixelSize(64);
    QPixmap canvas(96, 80);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setFont(font);
    painter.drawText(canvas.rect(), Qt::AlignCenter, emoji);
    painter.end();
    // Trim to the painted pixels, so the flag fills the frame it is given.
    const QImage image = canvas.toImage();
    QRect painted;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 16) {
                painted |= QRect(x, y, 1, 1);
            }
        }
    }
    QPixmap flag = painted.isEmpty() ? QPixmap() : canvas.copy(painted);
    cache.insert(emoji, flag);
    return flag;
}

}  // namespace

QPixmap flagImage(std::string_view countryCode, QSize size) {
    if (countryCode.size() != 2 || !std::isalpha(static_cast<unsigned char>(countryCode[0])) ||
        !std::isalpha(static_cast<unsigned char>(countryCode[1])) || size.isEmpty()) {
        return {};
    }
    QString emoji;
    for (const char letter : countryCode) {
        const char32_t indicator =
            0x1F1E6 + static_cast<char32_t>(std::toupper(static_cast<unsigned char>(letter)) - 'A');
        emoji += QString::fromUcs4(&indicator, 1);
    }
    const QPixmap flag = renderedFlag(emoji);
    if (flag.isNull()) {
        return {};
    }
    return flag.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace tarnwick
