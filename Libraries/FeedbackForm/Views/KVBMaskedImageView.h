#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace tarnwick {

// Draws an image as a mask: its opaque parts in one colour.
class KVBMaskedImageView : public QWidget {
    Q_OBJECT

public:
    explicit KVBMaskedImageView(QWidget* parent = nullptr);

    const QImage& imageMask() const { return m_imageMask; }
    void setImageMask(QImage image);
    const QColor& maskColor() const { return m_maskColor; }
    void setMaskColor(QColor color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_imageMask;
    QColor m_maskColor = Qt::black;
};

}  // namespace tarnwick
