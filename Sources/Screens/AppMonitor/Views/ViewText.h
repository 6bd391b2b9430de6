#pragma once

#include "QtSupport/Utf8Text.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>

namespace tarnwick::appmonitorviews {

// The platform's secondary label colour: the window text, faded.
inline QColor secondaryColor(const QWidget* widget) {
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

inline void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace tarnwick::appmonitorviews
