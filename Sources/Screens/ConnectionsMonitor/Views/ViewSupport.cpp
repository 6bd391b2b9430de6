#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"

#include "Shell/Views/Style/Typeface.h"

#include <QPalette>
#include <QWidget>

namespace tarnwick::cmviews {

QLabel* makeLabel(const QString& text, std::string_view face, double pointSize, const QColor& color,
                  QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Typeface::font(face, pointSize));
    setLabelColor(label, color);
    return label;
}

QLabel* makeWrappedLabel(const QString& text, std::string_view face, double pointSize,
                         const QColor& color, int width, QWidget* parent) {
    auto* label = makeLabel(text, face, pointSize, color, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedWidth(width);
    // A wrapped label in a box layout gets the height of its unwrapped line otherwise.
    label->setMinimumHeight(label->heightForWidth(width));
    return label;
}

void setLabelColor(QLabel* label, const QColor& color) {
    label->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(color.name(QColor::HexArgb)));
}

}  // namespace tarnwick::cmviews
