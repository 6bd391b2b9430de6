#pragma once

#include "QtSupport/Utf8Text.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>

namespace tarnwick::appmonitorviews {

inline void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace tarnwick::appmonitorviews
