#pragma once

#include <QObject>

#include <functional>

class QVariantAnimation;

namespace tarnwick {

// The eased change between a control's resting look (0) and its hovered look (1), as the desktop
// animates a hover: each step hands the new progress to `apply`.
class HoverProgress : public QObject {
    Q_OBJECT

public:
    static constexpr int durationMilliseconds = 200;

    HoverProgress(QObject* owner, std::function<void(double)> apply);

    void setHovered(bool hovered);
    double value() const { return m_value; }

private:
    const std::function<void(double)> m_apply;
    QVariantAnimation* m_animation;
    double m_value = 0.0;
};

}  // namespace tarnwick
