#include "Shell/Views/Promotion/QRCodeView.h"

#include "WidgetKit/Style/Appearance.h"

#include <QPainter>
#include <qrencode.h>

namespace tarnwick {

QRCodeView::QRCodeView(QWidget* parent) : QWidget(parent) {}

void QRCodeView::setContent(std::optional<std::string> content) {
    m_content = std::move(content);
    m_image = makeQRCodeImage(m_content);
    update();
}

std::optional<QImage> QRCodeView::makeQRCodeImage(const std::optional<std::string>& content) {
    if (!content) {
        return std::nullopt;
    }
    QRcode* code = QRcode_encodeString8bit(content->c_str(), 0, QR_ECLEVEL_M);
    if (code == nullptr) {
        return std::nullopt;
    }
    const int width = code->width;
    QImage image(width, width, QImage::Format_RGB32);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            // The lowest bit of each byte tells a dark module.
            const bool dark = (code->data[y * width + x] & 1) != 0;
            image.setPixel(x, y, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    QRcode_free(code);
    return image;
}

void QRCodeView::paintEvent(QPaintEvent*) {
    if (!m_image) {
        return;
    }
    QPainter painter(this);
    const QColor dark = Appearance::color("dynamicInvertedColor");
    const int modules = m_image->width();
    const qreal moduleWidth = qreal(width()) / modules;
    const qreal moduleHeight = qreal(height()) / modules;
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            if (qRed(m_image->pixel(x, y)) == 0) {
                painter.fillRect(QRectF(x * moduleWidth, y * moduleHeight, moduleWidth + 0.01,
                                        moduleHeight + 0.01),
                                 dark);
            }
        }
    }
}

}  // namespace tarnwick
