#pragma once

// Screenshot programs only: the light or dark look the pictures are taken in.

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace tarnwick::testing {

inline void applyAppearance(bool dark) {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette palette = QApplication::style()->standardPalette();
    if (dark) {
        palette.setColor(QPalette::Window, QColor(0x1C, 0x1E, 0x25));
        palette.setColor(QPalette::WindowText, QColor(0xEE, 0xEF, 0xF3));
        palette.setColor(QPalette::Base, QColor(0x26, 0x29, 0x32));
        palette.setColor(QPalette::Text, QColor(0xEE, 0xEF, 0xF3));
        palette.setColor(QPalette::Button, QColor(0x2E, 0x32, 0x40));
        palette.setColor(QPalette::ButtonText, QColor(0xEE, 0xEF, 0xF3));
        palette.setColor(QPalette::PlaceholderText, QColor(0x8D, 0x93, 0xA5));
    }
    QApplication::setPalette(palette);
}

}  // namespace tarnwick::testing
