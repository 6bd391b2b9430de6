#include "Shell/Views/Main/AppIconView.h"

#include "QtSupport/Utf8Text.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Tools/BundleUtilities.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace tarnwick {

AppIconView::AppIconView(const Bundle& bundle, QWidget* parent) : QWidget(parent) {
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(8, 16, 8, 0);
    m_column->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    const QPixmap icon = ImageAsset::pixmap("AppIcon", QSize(40, 40), devicePixelRatioF());
    if (icon.isNull()) {
        return;
    }
    m_icon = new QLabel(this);
    m_icon->setPixmap(icon);
    m_icon->setFixedSize(40, 40);
    m_icon->setCursor(Qt::PointingHandCursor);
    m_column->addWidget(m_icon, 0, Qt::AlignHCenter);
    if (isBeta(bundle)) {
        m_beta = new QLabel(qtext(InterfaceText::betaCaption), this);
        m_beta->setFont(Typeface::font(typefaceFace::regular, 12));
        QColor colour = Appearance::color(NamedColor::buttonColor());
        colour.setAlphaF(0.7f);
        m_beta->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name(QColor::HexArgb)));
        m_column->addWidget(m_beta, 0, Qt::AlignHCenter);
    }
}

void AppIconView::setFullscreen(bool fullscreen) {
    m_isFullscreen = fullscreen;
    m_column->setContentsMargins(8, iconTopPadding(), 8, 0);
}

int AppIconView::iconTopPadding() const {
    return m_isFullscreen ? 40 : 16;
}

bool AppIconView::showsBetaCaption() const {
    return m_beta != nullptr;
}

void AppIconView::mousePressEvent(QMouseEvent* event) {
    // A press on the icon is a click's: passed on, it would start moving the window, which then
    // followed the pointer while About opened.
    if (m_icon != nullptr && event->button() == Qt::LeftButton &&
        m_icon->geometry().contains(event->position().toPoint())) {
        event->accept();
        return;
    }
    event->ignore();
}

void AppIconView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_icon != nullptr && event->button() == Qt::LeftButton &&
        m_icon->geometry().contains(event->position().toPoint())) {
        // Over the main window, as the menu's About command places it.
        AboutWindowController(Bundle::main(), window()).showWindow();
    }
}

}  // namespace tarnwick
