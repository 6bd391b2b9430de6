#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"

#include "WidgetKit/Style/Typeface.h"

#include <QPalette>
#include <QTextDocument>
#include <QWidget>

namespace tarnwick::cmviews {

QLabel* makeLabel(const QString& text, std::string_view face, double pointSize, const QColor& color,
                  QWidget* parent) {
    auto* label = new QLabel(parent);
    // Names of programs and hosts come from outside: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
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

QString plainToolTip(const QString& text) {
    // A tooltip that looks like markup is drawn as markup; escaped, it shows as written.
    if (!Qt::mightBeRichText(text)) {
        return text;
    }
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

void setLabelColor(QLabel* label, const QColor& color) {
    label->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(color.name(QColor::HexArgb)));
}

}  // namespace tarnwick::cmviews
