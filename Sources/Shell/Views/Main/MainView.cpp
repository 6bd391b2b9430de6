#include "Shell/Views/Main/MainView.h"

#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Style/Appearance.h"

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

void MainView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), m_windowCornerRadius, m_windowCornerRadius);
    painter.fillPath(path, Appearance::color(NamedColor::windowBackgroundColor()));
}

}  // namespace tarnwick
