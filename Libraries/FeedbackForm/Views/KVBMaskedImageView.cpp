#include "KVBMaskedImageView.h"

#include "KVBBundleHelper.h"

#include <QPainter>

namespace tarnwick {

KVBMaskedImageView::KVBMaskedImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void KVBMaskedImageView::setImageMask(QImage image) {
    m_imageMask = std::move(image);
    updateGeometry();
    update();
}

void KVBMaskedImageView::setMaskColor(QColor color) {
    m_maskColor = std::move(color);
    update();
}

QSize KVBMaskedImageView::sizeHint() const {
    return m_imageMask.isNull() ? QSize(16, 16) : m_imageMask.size();
}

void KVBMaskedImageView::paintEvent(QPaintEvent*) {
    const QImage masked = kvbMaskedImageWithColor(m_imageMask, m_maskColor);
    if (masked.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), masked);
}

}  // namespace tarnwick
