#include "Screens/Settings/Views/SettingsText.h"

#include "WidgetKit/Style/Typeface.h"

namespace tarnwick {

QLabel* makeSettingsLabel(const QString& text, std::string_view face, double size,
                          QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Typeface::font(face, size));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QColor fadedTextColor(const QWidget* widget, double opacity) {
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette colored = widget->palette();
    colored.setColor(QPalette::WindowText, color);
    widget->setPalette(colored);
}

}  // namespace tarnwick
