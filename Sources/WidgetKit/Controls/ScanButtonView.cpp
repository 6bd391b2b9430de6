#include "WidgetKit/Controls/ScanButtonView.h"

#include "Dispatch/DispatchQueue.h"
#include "QtSupport/Utf8Text.h"
#include "Tools/SettingsTab.h"
#include "WidgetKit/Controls/Container.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/FocusRing.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QEnterEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>

namespace tarnwick {

namespace {

// The button: a rounded plate in the scan colour with a white template icon and title.
class ScanButton : public QAbstractButton {
public:
    ScanButton(const ScanButtonConfig::Face& face, QWidget* parent)
        : QAbstractButton(parent), m_icon(face.icon) {
        setText(QString::fromStdString(face.title));
        setFont(Typeface::font(typefaceFace::medium, 13));
        setCursor(Qt::PointingHandCursor);
        setMinimumSize(90, 34);
        setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        const int textWidth = fontMetrics().horizontalAdvance(text());
        return QSize(std::max(90, 8 + 16 + 8 + textWidth + 8 + 12), 34);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()), 5, 5);
        painter.fillPath(plate, Appearance::color(NamedColor::scanButtonColor()));
        const QString title = text();
        const int contentWidth = 8 + 16 + 8 + fontMetrics().horizontalAdvance(title) + 8;
        int x = (width() - contentWidth) / 2 + 8;
        painter.drawPixmap(
            QPoint(x, (height() - 16) / 2),
            ImageAsset::tinted(m_icon, QSize(16, 16), Qt::white, devicePixelRatioF()));
        x += 16 + 8;
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft,
                         title);
        FocusRing::paintIfShown(painter, this, QRectF(rect()), 5);
    }

private:
    std::string m_icon;
};

// The pill beside the button: "⚠ Select countries", posting the jump to the settings tab.
class NoTargetCountryButton : public QWidget {
public:
    NoTargetCountryButton(NotificationCenter& center, QWidget* parent)
        : QWidget(parent), m_notificationCenter(center) {
        setObjectName(QStringLiteral("NoTargetCountryButton"));
        setToolTip(qtext(InterfaceText::selectCountriesTooltip));
        setCursor(Qt::PointingHandCursor);
        setMaximumSize(160, 28);
        setAttribute(Qt::WA_Hover);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(6, 0, 6, 0);
        row->setSpacing(0);
        auto* sign = new QLabel(qtext(InterfaceText::targetCountriesWarningSign), this);
        sign->setFont(Typeface::font(typefaceFace::medium, 14));
        sign->setContentsMargins(2, 2, 2, 2);
        auto* label = new QLabel(qtext(InterfaceText::selectCountries), this);
        label->setFont(Typeface::font(typefaceFace::regular, 12));
        label->setContentsMargins(4, 4, 4, 4);
        label->setWordWrap(true);
        for (QLabel* part : {sign, label}) {
            part->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
            part->setAlignment(Qt::AlignCenter);
        }
        row->addStretch();
        row->addWidget(sign);
        row->addWidget(label);
        row->addStretch();
        auto* shadow = new QGraphicsDropShadowEffect(this);
        QColor shadowColor = Appearance::color(NamedColor::close());
        shadowColor.setAlphaF(0.3f);
        shadow->setColor(shadowColor);
        shadow->setBlurRadius(10);
        shadow->setOffset(0, 5);
        setGraphicsEffect(shadow);
    }

    QSize sizeHint() const override { return QWidget::sizeHint().boundedTo(QSize(160, 28)); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // Slightly smaller at rest, full size under the pointer.
        const qreal scale = m_isHovered ? 1.0 : 0.98;
        const QRectF plate =
            QRectF(rect()).adjusted(width() * (1 - scale) / 2, height() * (1 - scale) / 2,
                                    -width() * (1 - scale) / 2, -height() * (1 - scale) / 2);
        QPainterPath path;
        path.addRoundedRect(plate, 14, 14);
        painter.fillPath(path, Appearance::color(NamedColor::close()));
    }
    void enterEvent(QEnterEvent*) override {
        m_isHovered = true;
        update();
    }
    void leaveEvent(QEvent*) override {
        m_isHovered = false;
        update();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            m_notificationCenter.post("switchScreen", SettingsTab::targetCoutries);
        }
    }

private:
    NotificationCenter& m_notificationCenter;
    bool m_isHovered = false;
};

}  // namespace

ScanButtonView::ScanButtonView(ScanButtonConfig config, std::function<void(ScanState)> action,
                               QWidget* parent, NotificationCenter& notificationCenter,
                               Scheduler& scheduler)
    : QWidget(parent)
    , m_config(std::move(config))
    , m_action(std::move(action))
    , m_notificationCenter(notificationCenter)
    , m_scheduler(scheduler) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this);
    returnKey->setContext(Qt::WindowShortcut);
    connect(returnKey, &QShortcut::activated, this, [this] {
        if (m_button && m_button->isEnabled()) {
            tap();
        }
    });
    rebuild();
}

void ScanButtonView::setState(ScanState state) {
    if (m_state != state) {
        m_state = state;
        rebuild();
    }
}

void ScanButtonView::setButtonEnabled(bool enabled) {
    if (m_isEnabled != enabled) {
        m_isEnabled = enabled;
        rebuild();
    }
}

void ScanButtonView::setNoTargetCountryButtonHidden(bool hidden) {
    if (m_isNoTargetCountryButtonHidden != hidden) {
        m_isNoTargetCountryButtonHidden = hidden;
        rebuild();
    }
}

QAbstractButton* ScanButtonView::button() const {
    return m_button;
}

QWidget* ScanButtonView::noTargetCountryButton() const {
    return m_pill;
}

void ScanButtonView::tap() {
    if (!m_didReset) {
        return;
    }
    // The owner moves the state; the button only asks.
    m_action(ScanButtonConfig::requestedState(m_state));
    m_didReset = false;
    if (m_body) {
        m_body->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    }
    QPointer<ScanButtonView> self(this);
    DispatchQueue::main()->asyncAfter(
        buttonCooldownTime,
        [self] {
            if (self) {
                self->m_didReset = true;
                if (self->m_body) {
                    self->m_body->setAttribute(Qt::WA_TransparentForMouseEvents, false);
                }
            }
        },
        m_scheduler);
}

void ScanButtonView::rebuild() {
    delete m_body;
    const auto face = m_config.face(m_state);
    if (!face) {
        // Hidden in this state: an empty spacer.
        return;
    }
    std::vector<QWidget*> content;
    if (!m_isNoTargetCountryButtonHidden) {
        m_pill = new NoTargetCountryButton(m_notificationCenter, nullptr);
        content.push_back(m_pill);
    }
    auto* button = new ScanButton(*face, nullptr);
    button->setEnabled(m_isEnabled);
    connect(button, &QAbstractButton::clicked, this, [this] { tap(); });
    auto* shadow = new QGraphicsDropShadowEffect(button);
    QColor shadowColor = Appearance::color(NamedColor::sideBarHoverShadow());
    shadowColor.setAlphaF(shadowColor.alphaF() * (m_isEnabled ? 1.0f : 0.5f));
    shadow->setColor(shadowColor);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 5);
    button->setGraphicsEffect(shadow);
    m_button = button;
    content.push_back(button);
    m_body = new Container(content, std::nullopt, this);
    m_body->setAttribute(Qt::WA_TransparentForMouseEvents, !m_didReset);
    static_cast<QHBoxLayout*>(layout())->addWidget(m_body);
}

}  // namespace tarnwick
