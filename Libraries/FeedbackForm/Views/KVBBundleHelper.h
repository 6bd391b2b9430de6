#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

namespace tarnwick {

// The library's own images and named colours. They are compiled into the library, so they cannot
// go missing with a file; a name that is not there gives the fallback colour or a null image, and
// never stops the process.
class KVBBundleHelper {
public:
    // The image resource of that name rendered at `size`; null when there is none.
    static QImage imageNamed(const QString& name, QSize size);
    // The named colour for the widget's light or dark appearance; `fallback` when unknown.
    static QColor colorNamed(const QString& name, const QColor& fallback,
                             const QWidget* context = nullptr);
};

QColor kvbDynamicInvertedColor(const QWidget* context = nullptr);
QColor kvbDynamicInverted25AlphaColor(const QWidget* context = nullptr);
QColor kvbDynamicInverted50AlphaColor(const QWidget* context = nullptr);
QColor kvbErrorColor(const QWidget* context = nullptr);
QColor kvbTextFieldBackgroundColor(const QWidget* context = nullptr);
QColor kvbTextFieldBorderColor(const QWidget* context = nullptr);
QColor kvbColorWithSRGBHex(quint32 rgb);

// A new image of the same size, filled with `color` wherever `image` is opaque; null for a null
// image.
QImage kvbMaskedImageWithColor(const QImage& image, const QColor& color);

// A single-line label: not editable, not selectable, clear background.
QLabel* kvbLabel(QWidget* parent = nullptr);
// A label that wraps its words.
QLabel* kvbMultilineLabel(QWidget* parent = nullptr);
QLabel* kvbLabelWithString(const QString& text, QWidget* parent = nullptr);

// Whether the global point lies inside the widget's bounds.
bool kvbHasMouseInside(const QWidget* widget, const QPointF& globalPosition);

// A font of the platform's family at `pixelSize`, bold when asked.
QFont kvbSystemFont(int pixelSize, bool bold = false);

}  // namespace tarnwick
