#pragma once

#include "support/PictureChecks.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace tarnwick::testing {

// The look the review pictures are taken in: the Fusion style, in its own light palette or in a
// dark one.
inline void applyScreenshotAppearance(bool dark) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
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

// Waits until no animation runs, as a user waits for a switch or a sheet to come to rest.
inline bool waitUntilAtRest() {
    return QTest::qWaitFor(animationsAtRest, 10000);
}

// Saves a picture of the widget as "<folder>/<name>.png".
inline void saveScreenshot(QWidget* widget, const QString& folder, const QString& name) {
    QDir().mkpath(folder);
    const QString path = folder + u'/' + name + QStringLiteral(".png");
    ASSERT_TRUE(widget->grab().save(path)) << path.toStdString();
}

}  // namespace tarnwick::testing
