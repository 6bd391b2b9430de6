#include "KVBTransparentSpinner.h"

#include <QPainter>

namespace tarnwick {

namespace {
constexpr int kSpokes = 12;
}

KVBTransparentSpinner::KVBTransparentSpinner(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpokes;
        update();
    });
}

void KVBTransparentSpinner::startAnimation() {
    m_timer.start();
}

void KVBTransparentSpinner::stopAnimation() {
    m_timer.stop();
}

void KVBTransparentSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QColor color = palette().color(QPalette::WindowText);
    for (int i = 0; i < kSpokes; ++i) {
        const int age = (m_step - i + kSpokes) % kSpokes;
        color.setAlphaF(static_cast<float>(1.0 - age / static_cast<double>(kSpokes)));
        painter.setPen(QPen(color, side / 10, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.45));
        painter.rotate(360.0 / kSpokes);
    }
}

}  // namespace tarnwick
