#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

#include <string_view>

namespace tarnwick::cmviews {

// A plain-text label in one face of the display typeface, drawn in `color` on a clear
// background.
QLabel* makeLabel(const QString& text, std::string_view face, double pointSize, const QColor& color,
                  QWidget* parent);
// Centred lines wrapped at `width`, as tall as they need.
QLabel* makeWrappedLabel(const QString& text, std::string_view face, double pointSize,
                         const QColor& color, int width, QWidget* parent);
void setLabelColor(QLabel* label, const QColor& color);
// A tooltip that shows `text` as written, markup or not.
QString plainToolTip(const QString& text);

}  // namespace tarnwick::cmviews
