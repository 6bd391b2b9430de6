#include "Shell/Views/Main/CustomSystemButtons.h"

#include "Shell/ApplicationTerminator.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {

struct ButtonLook {
    double lowerDiameter;
    QColor lower;
    double upperDiameter;
    NamedColor upper;
    std::string_view glyph;
    QSizeF glyphSize;
    double hoveredGlyphOpacity;
    double glyphOffsetX;
};

class CircleButton : public QAbstractButton {
public:
    CircleButton(ButtonLook look, CustomSystemButtons* row)
        : QAbstractButton(row), m_look(look), m_row(row) {
        setFixedSize(12, 12);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(6, 6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_look.lower);
        painter.drawEllipse(centre, m_look.lowerDiameter / 2, m_look.lowerDiameter / 2);
        painter.setBrush(Appearance::color(m_look.upper));
        painter.drawEllipse(centre, m_look.upperDiameter / 2, m_look.upperDiameter / 2);
        if (m_row->isHovered()) {
            painter.setOpacity(m_look.hoveredGlyphOpacity);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            // The symbols are square: drawn into a square as wide as the glyph, centred, and
            // rendered at the screen's own pixel density rather than shrunk from a large copy,
            // which dropped the thin minus and speckled the rest.
            const double side = std::max(m_look.glyphSize.width(), m_look.glyphSize.height());
            const QRectF square(centre.x() - side / 2 + m_look.glyphOffsetX, centre.y() - side / 2,
                                side, side);
            const qreal ratio = std::max<qreal>(devicePixelRatioF(), 2.0);
            const int pixels = int(std::ceil(side));
            const QPixmap glyph =
                ImageAsset::tinted(m_look.glyph, QSize(pixels, pixels), Qt::black, ratio);
            painter.drawPixmap(square, glyph, QRectF(QPointF(0, 0), QSizeF(glyph.size())));
        }
    }
    void enterEvent(QEnterEvent*) override { m_row->setHovered(true); }
    void leaveEvent(QEvent*) override { m_row->setHovered(false); }

private:
    ButtonLook m_look;
    CustomSystemButtons* m_row;
};

}  // namespace

CustomSystemButtons::CustomSystemButtons(QWidget* parent) : QWidget(parent) {
    namespace IT = InterfaceText;
    m_close = new CircleButton({12, Appearance::color(NamedColor::closeStroke()), 11,
                                NamedColor::close(), IT::closeSymbol, QSizeF(6.5, 6.5), 1.0, 0},
                               this);
    m_minimise =
        new CircleButton({12, Appearance::color(NamedColor::minimiseStroke()), 11,
                          NamedColor::minimise(), IT::minimiseSymbol, QSizeF(6.5, 1.6), 1.0, 0.1},
                         this);
    m_fullScreen = new CircleButton({12, QColor(0x28, 0xC8, 0x40), 12, NamedColor::expand(),
                                     IT::fullScreenSymbol, QSizeF(7, 7), 0.7, 0},
                                    this);
    m_close->setToolTip(QStringLiteral("Close"));
    m_minimise->setToolTip(QStringLiteral("Minimise"));
    m_fullScreen->setToolTip(QStringLiteral("Enter Full Screen"));
    for (QAbstractButton* button : {m_close, m_minimise, m_fullScreen}) {
        button->setAccessibleName(button->toolTip());
        // The window's keys do what these do; Tab goes past them to the screens.
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto* row = new QHBoxLayout(this);
    row->setSpacing(8);
    row->setContentsMargins(10, 6, 10, 0);
    row->addWidget(m_close);
    row->addWidget(m_minimise);
    row->addWidget(m_fullScreen);

    connect(m_close, &QAbstractButton::clicked, this, [] { ApplicationTerminator::terminate(); });
    connect(m_minimise, &QAbstractButton::clicked, this, [] {
        if (QWidget* key = QApplication::activeWindow()) {
            key->showMinimized();
        }
    });
    connect(m_fullScreen, &QAbstractButton::clicked, this, [this] {
        QWidget* main = window();
        if (main == nullptr || main == this) {
            return;
        }
        if (main->isFullScreen()) {
            main->showNormal();
        } else {
            main->showFullScreen();
        }
    });
}

void CustomSystemButtons::setHovered(bool hovered) {
    if (m_isHovered != hovered) {
        m_isHovered = hovered;
        for (QAbstractButton* button : {m_close, m_minimise, m_fullScreen}) {
            button->update();
        }
    }
}

}  // namespace tarnwick
