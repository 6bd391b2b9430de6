#include "Screens/ConnectionsMonitor/Views/ConnetionsMonitorSearchFilter.h"

#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

ConnetionsMonitorSearchFilter::ConnetionsMonitorSearchFilter(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ConnetionsMonitorSearchFilter"));
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    m_field = new QLineEdit(this);
    m_field->setFrame(false);
    m_field->setFont(Typeface::font(typefaceFace::regular, 12));
    m_field->setStyleSheet(QStringLiteral("background: transparent;"));
    m_field->hide();
    row->addWidget(m_field);
    setFixedSize(kCollapsedWidth, 30);
    m_collapseTimer.setSingleShot(true);
    m_collapseTimer.setInterval(kCollapseDelayMilliseconds);
    connect(&m_collapseTimer, &QTimer::timeout, this, [this] {
        setHovered(false);
        // Folding drops the keyboard focus, as the field it leaves is no longer there.
        m_field->clearFocus();
    });
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        textDidChange(text);
        if (onTextChanged) {
            onTextChanged(text);
        }
    });
}

QString ConnetionsMonitorSearchFilter::text() const {
    return m_field->text();
}

void ConnetionsMonitorSearchFilter::setText(const QString& text) {
    if (text != m_field->text()) {
        m_field->setText(text);
        textDidChange(text);
    }
}

void ConnetionsMonitorSearchFilter::textDidChange(const QString& text) {
    if (text.isEmpty()) {
        scheduleCollapse();
    } else {
        m_collapseTimer.stop();
        setHovered(true);
    }
}

void ConnetionsMonitorSearchFilter::scheduleCollapse() {
    m_collapseTimer.start();
}

void ConnetionsMonitorSearchFilter::setHovered(bool hovered) {
    if (hovered == m_isHovered) {
        return;
    }
    m_isHovered = hovered;
    m_field->setVisible(hovered);
    m_field->setPlaceholderText(hovered ? qtext(InterfaceText::filterPlaceholder) : QString());
    setFixedWidth(hovered ? kExpandedWidth : kCollapsedWidth);
    update();
}

void ConnetionsMonitorSearchFilter::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (m_field->text().isEmpty()) {
        m_collapseTimer.stop();
        setHovered(true);
    }
}

void ConnetionsMonitorSearchFilter::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (m_field->text().isEmpty()) {
        scheduleCollapse();
    }
}

QSize ConnetionsMonitorSearchFilter::sizeHint() const {
    return QSize(m_isHovered ? kExpandedWidth : kCollapsedWidth, 30);
}

void ConnetionsMonitorSearchFilter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 15, 15);
    painter.fillPath(path, Appearance::color(NamedColor::detectionLevelBackground()));
    if (!m_isHovered) {
        const QPixmap glass =
            ImageAsset::tinted("magnifyingglass.circle", QSize(20, 20),
                               Appearance::secondaryLabelColor(this), devicePixelRatioF());
        if (!glass.isNull()) {
            painter.drawPixmap(QPoint((width() - 20) / 2, (height() - 20) / 2), glass);
        } else {
            QPen pen(Appearance::secondaryLabelColor(this), 1.6);
            painter.setPen(pen);
            const QPointF centre(width() / 2.0 - 1.5, height() / 2.0 - 1.5);
            painter.drawEllipse(centre, 5, 5);
            painter.drawLine(centre + QPointF(3.6, 3.6), centre + QPointF(7, 7));
        }
    }
}

}  // namespace tarnwick
