#include "Shell/Views/Main/ScreenPlaceholderView.h"

#include "QtSupport/Utf8Text.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"
#include "WidgetKit/TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

ScreenPlaceholderView::ScreenPlaceholderView(AppActiveScreenType screen, QWidget* parent)
    : QWidget(parent) {
    const QString name = qtext(rawValue(screen));
    setObjectName(name + QStringLiteral(" placeholder"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(40, 36, 40, 36);
    auto* title = new QLabel(name, this);
    title->setFont(Typeface::font(TextStyle::style0));
    column->addWidget(title);
    auto* note =
        new QLabel(QStringLiteral("Placeholder: the %1 screen is not built yet.").arg(name), this);
    note->setFont(Typeface::font(TextStyle::style1));
    QPalette palette = note->palette();
    palette.setColor(QPalette::WindowText, Appearance::secondaryLabelColor(note));
    note->setPalette(palette);
    column->addWidget(note);
    column->addStretch();
}

}  // namespace tarnwick
