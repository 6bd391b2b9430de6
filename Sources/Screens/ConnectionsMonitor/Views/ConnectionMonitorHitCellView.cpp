#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"

#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/Views/FlagImage.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

constexpr int kRowLeading = 46;
constexpr int kRowTrailing = 20;
constexpr int kMinimumRowHeight = 58;
constexpr int kSpacing = 12;
constexpr double kTextSize = 12;
constexpr double kCopyScale = 1.05;
constexpr int kLongPressTolerance = 10;

// The 8-point status dot in its 16-point frame.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(16, 16); }
    void setColorName(const QString& name) {
        m_colorName = name;
        update();
    }
    const QString& colorName() const { return m_colorName; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Appearance::color(m_colorName.toStdString()));
        painter.drawEllipse(QRectF(4, 4, 8, 8));
    }

private:
    QString m_colorName = QStringLiteral("connected");
};

bool isLocal(const Hit& hit) {
    return hit.countryCode2() == "local";
}

}  // namespace

ConnectionMonitorHitCellView::ConnectionMonitorHitCellView(std::shared_ptr<Hit> hit,
                                                           QWidget* parent)
    : QWidget(parent), m_hit(std::move(hit)) {
    setObjectName(QStringLiteral("ConnectionMonitorHitCellView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kRowLeading, 0, kRowTrailing, 0);
    m_content = new QWidget(this);
    m_content->setMinimumHeight(kMinimumRowHeight);
    m_opacity = new QGraphicsOpacityEffect(m_content);
    m_content->setGraphicsEffect(m_opacity);
    outer->addWidget(m_content);

    auto* row = new QHBoxLayout(m_content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    m_dot = new StatusDot(m_content);
    row->addWidget(m_dot, 0, Qt::AlignVCenter);

    const QColor itemColor = Appearance::color(NamedColor::cellButtonItemColor());
    auto* texts = new QWidget(m_content);
    texts->setMinimumWidth(120);
    texts->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    texts->setMaximumWidth(500);
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(2, 0, 0, 0);
    column->setSpacing(4);
    m_host = cmviews::makeLabel({}, typefaceFace::regular, kTextSize, itemColor, texts);
    m_host->setTextInteractionFlags(Qt::NoTextInteraction);
    QColor faded = itemColor;
    faded.setAlphaF(float(itemColor.alphaF() * 0.5));
    m_address = cmviews::makeLabel({}, typefaceFace::regular, kTextSize, faded, texts);
    column->addStretch();
    column->addWidget(m_host);
    column->addWidget(m_address);
    column->addStretch();
    row->addWidget(texts, 1);
    for (QLabel* label : {m_host, m_address}) {
        label->installEventFilter(this);
        label->setMouseTracking(true);
    }
    m_host->setAttribute(Qt::WA_Hover);

    m_badgeSlot = new QWidget(m_content);
    m_badgeSlot->setMinimumWidth(64);
    auto* badgeRow = new QHBoxLayout(m_badgeSlot);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->addStretch();
    m_badge =
        new ConnectionSafetyIndicator(ConnectionSafetyIndicatorType::compromised, m_badgeSlot);
    badgeRow->addWidget(m_badge);
    row->addWidget(m_badgeSlot, 0, Qt::AlignVCenter);

    m_countryBlock = new QWidget(m_content);
    m_countryBlock->setFixedWidth(10 + 100 + 2 + 48);
    auto* block = new QVBoxLayout(m_countryBlock);
    block->setContentsMargins(10, 0, 0, 0);
    block->setSpacing(4);
    auto* requests = new QHBoxLayout();
    requests->setSpacing(2);
    auto* requestsTitle =
        cmviews::makeLabel(qtext(InterfaceText::requestsCount), typefaceFace::regular, kTextSize,
                           palette().color(QPalette::WindowText), m_countryBlock);
    requestsTitle->setMinimumWidth(100);
    m_count = cmviews::makeLabel({}, typefaceFace::regular, kTextSize,
                                 palette().color(QPalette::WindowText), m_countryBlock);
    m_count->setFixedWidth(48);
    requests->addWidget(requestsTitle);
    requests->addWidget(m_count);
    requests->addStretch();
    auto* countryLine = new QHBoxLayout();
    countryLine->setSpacing(0);
    m_flag = new QLabel(m_countryBlock);
    m_flag->setFixedSize(16, 7);
    m_country = cmviews::makeLabel({}, typefaceFace::regular, kTextSize, faded, m_countryBlock);
    countryLine->addWidget(m_flag);
    countryLine->addWidget(m_country);
    countryLine->addStretch();
    block->addStretch();
    block->addLayout(requests);
    block->addLayout(countryLine);
    block->addStretch();
    row->addWidget(m_countryBlock, 0, Qt::AlignVCenter);

    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverDelayMilliseconds);
    connect(&m_hoverTimer, &QTimer::timeout, this, [this] {
        m_isURLHovered = true;
        applyHostText();
    });
    m_pressTimer.setSingleShot(true);
    m_pressTimer.setInterval(kLongPressMilliseconds);
    connect(&m_pressTimer, &QTimer::timeout, this, [this] {
        if (m_pressed) {
            copy(m_pressed == m_host);
        }
        m_pressed = nullptr;
    });

    bindPublisher(m_hit->revision.publisher(), this, [this](int) { refresh(); });
}

QString ConnectionMonitorHitCellView::capitalized(const QString& text) {
    QString result = text.toLower();
    bool wordStart = true;
    for (QChar& character : result) {
        if (character.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            character = character.toUpper();
            wordStart = false;
        }
    }
    return result;
}

void ConnectionMonitorHitCellView::refresh() {
    const Hit& hit = *m_hit;
    QString dot = QStringLiteral("connected");
    if (!hit.isAllowed()) {
        dot = QStringLiteral("blocked");
    } else if (hit.isWarning()) {
        dot = QStringLiteral("compromised");
    }
    static_cast<StatusDot*>(m_dot)->setColorName(dot);
    m_opacity->setOpacity(hit.isAllowed() ? 1.0 : 0.6);
    applyHostText();
    m_address->setText(qtext(hit.remoteAddress()));
    m_badge->setVisible(hit.isWarning());
    m_badge->setType(hit.isAllowed() ? ConnectionSafetyIndicatorType::compromised
                                     : ConnectionSafetyIndicatorType::blocked);
    m_count->setText(QString::number(hit.count()));
    const bool local = isLocal(hit);
    m_flag->setVisible(!local);
    const QPixmap flag = local ? QPixmap() : flagImage(hit.countryCode2(), QSize(10, 7));
    m_flag->setPixmap(flag);
    m_flag->setContentsMargins(0, 0, 6, 0);
    m_country->setText(capitalized(qtext(hit.countryName())));
    m_country->setContentsMargins(local ? -2 : 0, 0, 0, 0);
    QString tip;
    if (hit.countryName().empty()) {
        tip = QString();
    } else if (local) {
        tip = QStringLiteral("Localhost connection");
    } else {
        tip = QStringLiteral("The IP address is originated from %1").arg(qtext(hit.countryName()));
    }
    m_countryBlock->setToolTip(tip);
}

void ConnectionMonitorHitCellView::applyHostText() {
    const QString text = qtext(m_hit->representedURL());
    QFont font =
        Typeface::font(typefaceFace::regular, kTextSize * (m_isCopyingURL ? kCopyScale : 1));
    m_host->setFont(font);
    m_host->setToolTip({});
    if (m_isURLHovered) {
        // Up to ten lines, broken anywhere: host names have no spaces to break at.
        m_host->setWordWrap(true);
        QString wrapped;
        const QFontMetrics metrics(font);
        const int width = std::max(120, m_host->width());
        QString line;
        int lines = 1;
        for (const QChar character : text) {
            if (metrics.horizontalAdvance(line + character) > width && !line.isEmpty()) {
                if (++lines > 10) {
                    break;
                }
                wrapped += line + u'\n';
                line.clear();
            }
            line += character;
        }
        m_host->setText(wrapped + line);
    } else {
        m_host->setWordWrap(false);
        const int width = std::max(120, std::min(500, m_host->width()));
        m_host->setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
    }
    m_address->setFont(
        Typeface::font(typefaceFace::regular, kTextSize * (m_isCopyingIP ? kCopyScale : 1)));
}

void ConnectionMonitorHitCellView::copy(bool url) {
    bool& flag = url ? m_isCopyingURL : m_isCopyingIP;
    flag = true;
    applyHostText();
    QPointer<ConnectionMonitorHitCellView> self(this);
    QTimer::singleShot(kCopyHighlightMilliseconds, this, [self, url] {
        if (self) {
            (url ? self->m_isCopyingURL : self->m_isCopyingIP) = false;
            self->applyHostText();
        }
    });
    QGuiApplication::clipboard()->setText(
        qtext(url ? m_hit->representedURL() : m_hit->remoteAddress()));
}

bool ConnectionMonitorHitCellView::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label != m_host && label != m_address) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_pressed = label;
                m_pressPosition = mouse->globalPosition().toPoint();
                m_pressTimer.start();
            }
            break;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (m_pressed &&
                (mouse->globalPosition().toPoint() - m_pressPosition).manhattanLength() >=
                    kLongPressTolerance) {
                m_pressTimer.stop();
                m_pressed = nullptr;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            m_pressTimer.stop();
            m_pressed = nullptr;
            break;
        case QEvent::Enter:
            if (label == m_host) {
                m_hoverTimer.start();
            }
            break;
        case QEvent::Leave:
            if (label == m_host) {
                m_hoverTimer.stop();
                if (m_isURLHovered) {
                    m_isURLHovered = false;
                    applyHostText();
                }
            }
            break;
        case QEvent::Resize:
            if (label == m_host) {
                applyHostText();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ConnectionMonitorHitCellView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Appearance::color(NamedColor::windowBackgroundColor()));
}

QString ConnectionMonitorHitCellView::statusColorName() const {
    return static_cast<const StatusDot*>(m_dot)->colorName();
}

std::optional<ConnectionSafetyIndicatorType> ConnectionMonitorHitCellView::badgeType() const {
    if (!m_hit->isWarning()) {
        return std::nullopt;
    }
    return m_badge->type();
}

QString ConnectionMonitorHitCellView::hostText() const {
    return qtext(m_hit->representedURL());
}

QString ConnectionMonitorHitCellView::addressText() const {
    return m_address->text();
}

QString ConnectionMonitorHitCellView::countText() const {
    return m_count->text();
}

QString ConnectionMonitorHitCellView::countryText() const {
    return m_country->text();
}

QString ConnectionMonitorHitCellView::countryToolTip() const {
    return m_countryBlock->toolTip();
}

bool ConnectionMonitorHitCellView::showsFlag() const {
    return !m_flag->isHidden() && !m_flag->pixmap().isNull();
}

double ConnectionMonitorHitCellView::contentOpacity() const {
    return m_opacity->opacity();
}

}  // namespace tarnwick
