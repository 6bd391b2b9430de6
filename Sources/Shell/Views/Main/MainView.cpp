#include "Shell/Views/Main/MainView.h"

#include "Shell/Views/Main/MainWindowLayout.h"
#include "WidgetKit/Style/Appearance.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tarnwick {

MainView::MainView(NotificationCenter& notificationCenter, QWidget* parent) : QWidget(parent) {
    setMinimumSize(1024, 640);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_layout = new MainWindowLayout(notificationCenter, this);
    column->addWidget(m_layout);
}

void MainView::setFullscreen(bool fullscreen) {
    m_windowCornerRadius = fullscreen ? 8.0 : 30.0;
    m_layout->setFullscreen(fullscreen);
    update();
}

void MainView::setSquareCorners(bool square) {
    m_squareCorners = square;
    update();
}

void MainView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const double radius = m_squareCorners ? 0.0 : m_windowCornerRadius;
    path.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(path, Appearance::color(NamedColor::windowBackgroundColor()));
}

}  // namespace tarnwick
