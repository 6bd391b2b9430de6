#include "WidgetKit/Controls/NoNetworkPopUp.h"

#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {

class Strip : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(path, Appearance::color(NamedColor::connectionSafetyCompromisedBG()));
    }
};

}  // namespace

NoNetworkPopUp::NoNetworkPopUp(QWidget* parent) : QWidget(parent) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(20 + 36, 20, 20 + 36, 20);
    m_strip = new Strip(this);
    m_strip->setFixedHeight(32);
    outer->addWidget(m_strip);
    auto* row = new QHBoxLayout(m_strip);
    row->setContentsMargins(8, 0, 8, 0);
    auto* label = new QLabel(QStringLiteral("No internet connection"), m_strip);
    label->setFont(Typeface::font(typefaceFace::light, 14));
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                             .arg(Appearance::color(NamedColor::connectionSafetyCompromisedText())
                                      .name(QColor::HexArgb)));
    row->addWidget(label);
}

}  // namespace tarnwick
