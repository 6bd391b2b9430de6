#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorCellView.h"

#include "Dispatch/DispatchQueue.h"
#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"
#include "Screens/ConnectionsMonitor/Views/ProgramIcon.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/FocusRing.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTransform>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

ConnectionMonitorCellView::ConnectionMonitorCellView(
    std::shared_ptr<Application> app, std::shared_ptr<ConnectionsMonitorViewModel> viewModel,
    bool isLast, QWidget* parent)
    : QWidget(parent), m_app(std::move(app)), m_viewModel(std::move(viewModel)), m_isLast(isLast) {
    setObjectName(QStringLiteral("ConnectionMonitorCellView"));
    // As tall as what it lists, never stretched by the list: spare room is the list's to keep
    // below the last row, not a gap under a row whose servers were filtered away.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Reached with Tab like any control; Space, Return and the arrows open and close it.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(qtext(m_app->localizedName()));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 1);
    column->setSpacing(0);

    m_header = new QWidget(this);
    m_header->setFixedHeight(kRowHeight - 1);
    m_header->setCursor(Qt::PointingHandCursor);
    m_header->installEventFilter(this);
    auto* line = new QHBoxLayout(m_header);
    line->setContentsMargins(12, 0, 12, 0);
    line->setSpacing(12);
    m_icon = new QLabel(m_header);
    m_icon->setFixedSize(32, 32);
    QPixmap icon = programIconPixmap(m_app->iconBundleIdentifier(), 32, devicePixelRatioF(),
                                     m_app->iconBundlePath());
    icon.setDevicePixelRatio(devicePixelRatioF());
    m_icon->setPixmap(icon);
    line->addWidget(m_icon);
    m_name = cmviews::makeLabel(qtext(m_app->localizedName()), typefaceFace::light, 14,
                                palette().color(QPalette::WindowText), m_header);
    m_name->setContentsMargins(2, 0, 0, 0);
    // A long name (a program's path) is cut short with an ellipsis instead of widening the list.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->installEventFilter(this);
    line->addWidget(m_name, 1);
    m_badge = new ConnectionSafetyIndicator(ConnectionSafetyIndicatorType::safe, m_header);
    line->addWidget(m_badge);
    m_chevron = new QLabel(m_header);
    m_chevron->setFixedSize(16, 16);
    line->addWidget(m_chevron);
    column->addWidget(m_header);

    m_hits = new QWidget(this);
    m_hitsLayout = new QVBoxLayout(m_hits);
    m_hitsLayout->setContentsMargins(0, 0, 0, 0);
    m_hitsLayout->setSpacing(0);
    m_hits->hide();
    column->addWidget(m_hits);

    m_isExpanded = m_viewModel->expandedInfoForApp().get() == m_app;
    m_hits->setVisible(m_isExpanded);

    bindPublisher(m_app->revision.publisher(), this, [this](int) { refreshHeader(); });
    const auto rebuild = [this](const auto&) { rebuildHits(); };
    bindPublisher(m_app->children.publisher(), this, rebuild);
    bindPublisher(m_app->compromisedChildren.publisher(), this, rebuild);
    bindPublisher(m_viewModel->showOnlyCompromised().publisher(), this, rebuild);
    bindPublisher(m_viewModel->filteredHits.publisher(), this, rebuild);
    bindPublisher(m_viewModel->expandedInfoForApp().publisher(), this,
                  [this](const std::shared_ptr<Application>& expanded) {
                      setExpanded(expanded && expanded == m_app);
                  });
}

void ConnectionMonitorCellView::setIsLast(bool isLast) {
    if (isLast != m_isLast) {
        m_isLast = isLast;
        update();
    }
}

bool ConnectionMonitorCellView::showsChevron() const {
    return !m_chevron->pixmap().isNull();
}

void ConnectionMonitorCellView::refreshHeader() {
    m_badge->setType(m_app->isWarning() ? ConnectionSafetyIndicatorType::compromised
                                        : ConnectionSafetyIndicatorType::safe);
    if (m_app->hitsCount() < 1) {
        m_chevron->setPixmap({});
        return;
    }
    QPixmap chevron = ImageAsset::tinted(
        "chevron.down", QSize(16, 16), Appearance::secondaryLabelColor(this), devicePixelRatioF());
    if (m_isExpanded) {
        chevron = chevron.transformed(QTransform().rotate(180));
    }
    m_chevron->setPixmap(chevron);
}

void ConnectionMonitorCellView::setExpanded(bool expanded) {
    if (expanded == m_isExpanded) {
        return;
    }
    m_isExpanded = expanded;
    m_hits->setVisible(expanded);
    refreshHeader();
    rebuildHits();
}

void ConnectionMonitorCellView::click() {
    QPointer<ConnectionMonitorCellView> self(this);
    DispatchQueue::main()->async([self] {
        if (!self || self->m_app->hitsCount() < 1) {
            return;
        }
        self->m_viewModel->setExpandedInfoForApp(self->m_isExpanded ? nullptr : self->m_app);
    });
}

void ConnectionMonitorCellView::rebuildHits() {
    if (!m_isExpanded) {
        // Collapsed rows keep no hit rows: a long list builds only what is shown.
        for (auto& [hit, row] : m_hitRows) {
            delete row;
        }
        m_hitRows.clear();
        return;
    }
    const auto list = m_viewModel->showOnlyCompromised().get() ? m_app->compromisedChildren.get()
                                                               : m_app->children.get();
    const auto filtered = m_viewModel->filteredHits.get();
    const bool searching = filtered && !filtered->empty();
    std::map<const Hit*, ConnectionMonitorHitCellView*> rows;
    for (std::size_t index = 0; index < list.size(); ++index) {
        const auto& hit = list[index];
        auto found = m_hitRows.find(hit.get());
        ConnectionMonitorHitCellView* row = nullptr;
        if (found != m_hitRows.end()) {
            row = found->second;
            m_hitRows.erase(found);
        } else {
            row = new ConnectionMonitorHitCellView(hit, m_hits);
        }
        m_hitsLayout->insertWidget(int(index), row);
        const bool dimmed =
            searching && std::find(filtered->begin(), filtered->end(), hit) == filtered->end();
        if (dimmed) {
            auto* effect = qobject_cast<QGraphicsOpacityEffect*>(row->graphicsEffect());
            if (!effect) {
                effect = new QGraphicsOpacityEffect(row);
                row->setGraphicsEffect(effect);
            }
            effect->setOpacity(0.5);
        } else {
            row->setGraphicsEffect(nullptr);
        }
        rows[hit.get()] = row;
    }
    for (auto& [hit, row] : m_hitRows) {
        delete row;
    }
    m_hitRows = std::move(rows);
}

std::vector<ConnectionMonitorHitCellView*> ConnectionMonitorCellView::hitRows() const {
    std::vector<ConnectionMonitorHitCellView*> rows;
    for (int index = 0; index < m_hitsLayout->count(); ++index) {
        if (auto* row = qobject_cast<ConnectionMonitorHitCellView*>(
                m_hitsLayout->itemAt(index)->widget())) {
            rows.push_back(row);
        }
    }
    return rows;
}

double ConnectionMonitorCellView::opacityOf(const ConnectionMonitorHitCellView* row) const {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(row->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

bool ConnectionMonitorCellView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_name && event->type() == QEvent::Resize) {
        const QString name = qtext(m_app->localizedName());
        m_name->setText(m_name->fontMetrics().elidedText(
            name, Qt::ElideMiddle, std::max(0, m_name->contentsRect().width())));
        m_name->setToolTip(cmviews::plainToolTip(name));
    }
    if (watched == m_header && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ConnectionMonitorCellView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Appearance::color(NamedColor::windowBackgroundColor()));
    if (!m_isLast) {
        QColor divider = palette().color(QPalette::WindowText);
        divider.setAlphaF(0.12f);
        painter.fillRect(QRect(0, height() - 1, width(), 1), divider);
    }
    FocusRing::paintIfShown(painter, this, QRectF(m_header->geometry()), 8);
}

void ConnectionMonitorCellView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter ||
        (key == Qt::Key_Right && !m_isExpanded) || (key == Qt::Key_Left && m_isExpanded)) {
        click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarnwick
