#include "Screens/Settings/Views/DetectionLevelView.h"

#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/HoverProgress.h"
#include "Screens/Settings/Views/ScaledTextLabel.h"
#include "Screens/Settings/Views/SettingsText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QString title(DetectionLevel level) {
    return qtext(rawValue(level));
}

QString roundedFill(NamedColor color, int radius) {
    return QStringLiteral("background: %1; border-radius: %2px;")
        .arg(Appearance::color(color).name(QColor::HexArgb))
        .arg(radius);
}

}  // namespace

DetectionLevelView::DetectionLevelContainer::DetectionLevelContainer(QWidget* content,
                                                                     QWidget* parent)
    : QWidget(parent) {
    setFixedHeight(containerHeight);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(content);
}

void DetectionLevelView::DetectionLevelContainer::setExpanded(bool expanded) {
    m_isExpanded = expanded;
    update();
}

void DetectionLevelView::DetectionLevelContainer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), containerCornerRadius, containerCornerRadius);
    QColor fill = Appearance::color(NamedColor::detectionLevelBackground());
    fill.setAlphaF(static_cast<float>(fill.alphaF() * backgroundOpacity()));
    painter.fillPath(shape, fill);
}

DetectionLevelView::DetectionLevelView(std::shared_ptr<SettingsViewModel> viewModel,
                                       QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)) {
    setObjectName(QStringLiteral("DetectionLevelView"));
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(10, 0, 10, 0);
    auto* label =
        makeSettingsLabel(QStringLiteral("Current detection level:"), typefaceFace::light, 14, bar);
    label->setWordWrap(false);
    label->setContentsMargins(10, 0, 0, 0);
    setTextColor(label, fadedTextColor(this, 0.7));
    row->addWidget(label);
    row->addStretch();
    m_pill = new ScaledTextLabel(QString(), bar);
    m_pill->setObjectName(QStringLiteral("detectionLevelPill"));
    m_pill->setFont(Typeface::font(typefaceFace::regular, 14));
    m_pill->setCursor(Qt::PointingHandCursor);
    m_pill->setAttribute(Qt::WA_Hover);
    m_pill->setStyleSheet(
        QStringLiteral("QLabel { color: %1; padding: 6px 10px; %2 }")
            .arg(Appearance::color(NamedColor::buttonColor()).name(QColor::HexArgb),
                 roundedFill(NamedColor::detectionLevelBackground(), 10)));
    m_pill->installEventFilter(this);
    m_pillHover =
        new HoverProgress(m_pill, [this](double value) { m_pill->setScale(1.0 + 0.02 * value); });
    row->addWidget(m_pill);

    m_container = new DetectionLevelContainer(bar, this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8 + DetectionLevelContainer::containerPaddingTrailing, 8);
    outer->addWidget(m_container);

    bindPublisher(m_viewModel->selectedRestrictions().publisher(), this,
                  [this](const std::vector<RestrictionPreference>&) { refresh(); });
}

DetectionLevelView::~DetectionLevelView() {
    delete m_menu;
}

DetectionLevel DetectionLevelView::detectionLevel() const {
    return m_viewModel->detectionLevel();
}

void DetectionLevelView::setDetectionLevel(DetectionLevel level) {
    m_viewModel->setDetectionLevel(level);
}

QString DetectionLevelView::pillText() const {
    return m_pill->text();
}

void DetectionLevelView::refresh() {
    // Only the letters change case; the emoji stays as it is.
    m_pill->setText(title(detectionLevel()).toUpper());
}

void DetectionLevelView::setExpanded(bool expanded) {
    if (expanded == isExpanded()) {
        return;
    }
    m_container->setExpanded(expanded);
    m_pill->setVisible(!expanded);
    if (!expanded) {
        if (m_menu) {
            m_menu->hide();
            m_menu->deleteLater();
        }
        return;
    }
    m_menu = makeMenu();
    // The menu stands over the bar's centre, its bottom on the bar's bottom, reaching up above it;
    // it lives in the tab's body so that it may cover the rules.
    QWidget* host = parentWidget() != nullptr ? parentWidget() : this;
    m_menu->setParent(host);
    m_menu->adjustSize();
    const QRect bar(m_container->mapTo(host, QPoint(0, 0)), m_container->size());
    m_menu->move(bar.center().x() - m_menu->width() / 2, bar.bottom() - m_menu->height() + 1);
    m_menu->show();
    m_menu->raise();
}

QWidget* DetectionLevelView::makeMenu() {
    auto* menu = new QWidget();
    menu->setObjectName(QStringLiteral("detectionLevelMenu"));
    menu->setAttribute(Qt::WA_StyledBackground);
    menu->setStyleSheet(QStringLiteral("QWidget#detectionLevelMenu { %1 }")
                            .arg(roundedFill(NamedColor::detectionLevelBackground(), 10)));
    menu->setFixedHeight(150);
    auto* rows = new QVBoxLayout(menu);
    rows->setContentsMargins(8, 0, 8, 0);
    rows->setSpacing(0);
    for (const DetectionLevel level : m_selectableDetectionLevels) {
        auto* row = new QLabel(title(level), menu);
        row->setObjectName(title(level));
        row->setFont(Typeface::font(typefaceFace::regular, 14));
        row->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->setCursor(Qt::PointingHandCursor);
        row->setStyleSheet(
            QStringLiteral("QLabel { color: %1; padding: 12px 8px; }")
                .arg(Appearance::color(NamedColor::buttonColor()).name(QColor::HexArgb)));
        row->setProperty("detectionLevel", static_cast<int>(level));
        row->installEventFilter(this);
        rows->addWidget(row);
    }
    menu->installEventFilter(this);
    return menu;
}

bool DetectionLevelView::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (watched == m_pill) {
        if (type == QEvent::Enter || type == QEvent::Leave) {
            m_pillHover->setHovered(type == QEvent::Enter);
        } else if (type == QEvent::MouseButtonPress) {
            return true;
        } else if (type == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            setExpanded(true);
            return true;
        }
    } else if (m_menu && watched == m_menu.data()) {
        // Leaving the menu closes it; until the pointer has been in, it stays open.
        if (type == QEvent::Leave) {
            setExpanded(false);
        }
    } else if (const QVariant level = watched->property("detectionLevel"); level.isValid()) {
        if (type == QEvent::MouseButtonPress) {
            return true;
        }
        if (type == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            setDetectionLevel(static_cast<DetectionLevel>(level.toInt()));
            setExpanded(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnwick
