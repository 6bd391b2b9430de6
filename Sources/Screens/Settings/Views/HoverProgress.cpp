#include "Screens/Settings/Views/HoverProgress.h"

#include <QVariantAnimation>

namespace tarnwick {

HoverProgress::HoverProgress(QObject* owner, std::function<void(double)> apply)
    : QObject(owner), m_apply(std::move(apply)), m_animation(new QVariantAnimation(this)) {
    m_animation->setDuration(durationMilliseconds);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_value = value.toDouble();
        m_apply(m_value);
    });
}

void HoverProgress::setHovered(bool hovered) {
    const double target = hovered ? 1.0 : 0.0;
    m_animation->stop();
    if (m_value == target) {
        return;
    }
    m_animation->setStartValue(m_value);
    m_animation->setEndValue(target);
    m_animation->start();
}

}  // namespace tarnwick
