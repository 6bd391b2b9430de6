#include "Screens/AppMonitor/Views/NoNetworkLabel.h"

#include "Screens/AppMonitor/Views/ViewText.h"
#include "Shell/Views/Style/Appearance.h"
#include "Shell/Views/Style/Typeface.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwick {

using namespace appmonitorviews;

NoNetworkLabel::NoNetworkLabel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("NoNetworkLabel"));
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 24, 0);
    row->addStretch();
    m_label = new QLabel(QStringLiteral("⚠ Connect to the network for better scan results"), this);
    m_label->setFont(Typeface::font(typefaceFace::regular, 12));
    row->addWidget(m_label);
    applyColour();
    m_label->hide();
}

void NoNetworkLabel::setNetworkStatus(bool networkStatus) {
    m_label->setVisible(!networkStatus);
}

bool NoNetworkLabel::isShowingWarning() const {
    return !m_label->isHidden();
}

void NoNetworkLabel::enterEvent(QEnterEvent* event) {
    m_isHovered = true;
    applyColour();
    QWidget::enterEvent(event);
}

void NoNetworkLabel::leaveEvent(QEvent* event) {
    m_isHovered = false;
    applyColour();
    QWidget::leaveEvent(event);
}

void NoNetworkLabel::applyColour() {
    QColor colour = Appearance::color(NamedColor::close());
    colour.setAlphaF(m_isHovered ? 1.0f : 0.9f);
    setTextColor(m_label, colour);
}

}  // namespace tarnwick
