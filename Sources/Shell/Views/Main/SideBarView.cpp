#include "Shell/Views/Main/SideBarView.h"

#include "QtSupport/Utf8Text.h"
#include "Shell/Views/Main/AppIconView.h"
#include "Shell/Views/Main/CustomSystemButtons.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QAbstractButton>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {

SideBarButtonConfig SideBarButtonConfig::make(AppActiveScreenType screen) {
    switch (screen) {
        case AppActiveScreenType::appMonitor:
            return {screen, "AppMonitor"};
        case AppActiveScreenType::connectionsMonitor:
            return {screen, "ConnectionsMonitor"};
        case AppActiveScreenType::settings:
            return {screen, "Settings"};
    }
    return {screen, {}};
}

// One screen's button: icon column, and the title while the bar is expanded. A button to the
// keyboard and to assistive technology too: Tab reaches it, Space chooses it, and it is named
// after its screen.
class SideBarButtonView : public QAbstractButton {
public:
    SideBarButtonView(SideBarButtonConfig config, SideBarView* bar)
        : QAbstractButton(bar), m_config(std::move(config)), m_bar(bar) {
        setFixedHeight(46);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
        const QString title = qtext(rawValue(m_config.activeScreenType));
        setObjectName(title);
        setText(title);
        setAccessibleName(title);
        setToolTip(title);
        setFocusPolicy(Qt::StrongFocus);
        connect(this, &QAbstractButton::clicked, this,
                [this] { m_bar->buttonClicked(m_config.activeScreenType); });
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool active = m_bar->isSelected(m_config.activeScreenType) || m_isHovered;
        const QColor colour =
            Appearance::color(active ? NamedColor::sideBarHover() : NamedColor::sideBarRegular());
        // Icon column: 30 points wide, centred in the collapsed bar.
        const int iconSize = active ? 17 : 16;
        const QRect iconRect((SideBarView::collapsedWidth - iconSize) / 2,
                             (height() - iconSize) / 2 + (active ? 1 : 0), iconSize, iconSize);
        if (active) {
            QColor glow = Appearance::color(NamedColor::sideBarHoverShadow());
            painter.setPen(Qt::NoPen);
            painter.setBrush(glow);
            painter.drawEllipse(iconRect.center() + QPoint(0, 3), 12, 6);
        }
        painter.drawPixmap(iconRect, ImageAsset::tinted(m_config.icon, iconRect.size(), colour,
                                                        devicePixelRatioF()));
        if (hasFocus() && m_keyboardFocus) {
            QPen ring(palette().color(QPalette::Highlight), 2);
            painter.setPen(ring);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(iconRect).adjusted(-7, -7, 7, 7), 6, 6);
        }
        if (m_bar->isExpanded()) {
            painter.setPen(active ? colour : Appearance::color(NamedColor::sideBarRegularText()));
            painter.setFont(Typeface::font(typefaceFace::medium, 14));
            painter.drawText(QRect(SideBarView::collapsedWidth - 12, 0, width(), height()),
                             Qt::AlignVCenter | Qt::AlignLeft,
                             qtext(rawValue(m_config.activeScreenType)));
        }
    }
    // The ring marks where the keyboard is, not where a click left the focus.
    void focusInEvent(QFocusEvent* event) override {
        m_keyboardFocus = event->reason() == Qt::TabFocusReason ||
                          event->reason() == Qt::BacktabFocusReason ||
                          event->reason() == Qt::ShortcutFocusReason;
        QAbstractButton::focusInEvent(event);
    }
    void enterEvent(QEnterEvent*) override {
        m_isHovered = true;
        m_bar->buttonHovered(m_config.activeScreenType, true);
    }
    void leaveEvent(QEvent*) override {
        m_isHovered = false;
        m_bar->buttonHovered(m_config.activeScreenType, false);
    }

private:
    SideBarButtonConfig m_config;
    SideBarView* m_bar;
    bool m_isHovered = false;
    bool m_keyboardFocus = false;
};

SideBarView::SideBarView(std::vector<AppActiveScreenType> appScreens, QWidget* parent)
    : QWidget(parent), m_appScreens(std::move(appScreens)) {
    setObjectName(QStringLiteral("SideBar"));
    setAttribute(Qt::WA_Hover);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 16);
    column->setSpacing(0);
    m_windowButtons = new CustomSystemButtons(this);
    column->addWidget(m_windowButtons, 0, Qt::AlignLeft);
    m_appIcon = new AppIconView(Bundle::main(), this);
    m_appIcon->setFixedWidth(collapsedWidth);
    column->addWidget(m_appIcon, 0, Qt::AlignLeft);
    column->addSpacing(24);
    for (AppActiveScreenType screen : m_appScreens) {
        auto* button = new SideBarButtonView(SideBarButtonConfig::make(screen), this);
        m_buttons.push_back(button);
        column->addWidget(button);
    }
    column->addStretch();
    // The second mascot sits at the foot of the bar.
    auto* mascotRow = new QWidget(this);
    auto* mascotLayout = new QHBoxLayout(mascotRow);
    mascotLayout->setContentsMargins(20, 0, 0, 0);
    auto* mascot = new QLabel(mascotRow);
    mascot->setPixmap(ImageAsset::pixmap("WumbleSit", QSize(56, 56), 2.0));
    mascot->setFixedSize(56, 56);
    mascot->setScaledContents(true);
    mascotLayout->addWidget(mascot);
    mascotLayout->addStretch();
    column->addWidget(mascotRow);
    setFixedWidth(collapsedWidth);
    m_widthAnimation = new QPropertyAnimation(this, "barWidth", this);
    m_widthAnimation->setDuration(250);
    m_widthAnimation->setEasingCurve(QEasingCurve::InOutQuad);
}

void SideBarView::setBarWidth(int width) {
    setFixedWidth(width);
}

void SideBarView::setExpanded(bool expanded) {
    if (m_isExpanded == expanded) {
        return;
    }
    m_isExpanded = expanded;
    m_widthAnimation->stop();
    m_widthAnimation->setStartValue(width());
    m_widthAnimation->setEndValue(expanded ? expandedWidth : collapsedWidth);
    m_widthAnimation->start();
    refreshButtons();
}

void SideBarView::setCurrentScreen(AppActiveScreenType screen) {
    m_currentScreen = screen;
    refreshButtons();
}

void SideBarView::setFullscreen(bool fullscreen) {
    m_windowButtons->setVisible(!fullscreen);
    m_appIcon->setFullscreen(fullscreen);
}

bool SideBarView::isSelected(AppActiveScreenType screen) const {
    // While the pointer rests on a button only that one is highlighted.
    return m_currentScreen == screen && !m_hoveredButton;
}

QWidget* SideBarView::button(AppActiveScreenType screen) const {
    for (std::size_t i = 0; i < m_appScreens.size(); ++i) {
        if (m_appScreens[i] == screen) {
            return m_buttons[i];
        }
    }
    return nullptr;
}

void SideBarView::buttonHovered(AppActiveScreenType screen, bool hovered) {
    if (m_hoveredButton == screen) {
        m_hoveredButton = hovered ? std::optional(screen) : std::nullopt;
    } else {
        m_hoveredButton = screen;
    }
    if (m_hoveredButton && onHoverChanged) {
        onHoverChanged(true);
    }
    refreshButtons();
}

void SideBarView::buttonClicked(AppActiveScreenType screen) {
    if (onScreenChosen) {
        onScreenChosen(screen);
    }
    if (onHoverChanged) {
        onHoverChanged(false);
    }
}

void SideBarView::refreshButtons() {
    for (QWidget* button : m_buttons) {
        button->update();
    }
}

void SideBarView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (onHoverChanged) {
        onHoverChanged(true);
    }
}

void SideBarView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_hoveredButton.reset();
    if (onHoverChanged) {
        onHoverChanged(false);
    }
    refreshButtons();
}

void SideBarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Appearance::color(NamedColor::windowBackgroundColor()));
    painter.fillRect(QRectF(width() - 0.5, 0, 0.5, height()), QColor(0, 0, 0, 15));
}

}  // namespace tarnwick
