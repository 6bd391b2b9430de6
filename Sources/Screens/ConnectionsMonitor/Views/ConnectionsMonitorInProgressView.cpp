#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"

#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/Views/ClearAllButton.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnetionsMonitorSearchFilter.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/Controls/CustomCheckMarkView.h"
#include "WidgetKit/Controls/ScrollGradientView.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

namespace tarnwick {

namespace {

// The map column's panel: a square with rounded corners on a faint plate; its children fill it,
// but for the note, which lies along its foot above them.
class MapPanel : public QWidget {
public:
    explicit MapPanel(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setMinimumSize(200, 200);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

    QPointer<QLabel> note;

    void placeNote() {
        if (!note) {
            return;
        }
        // Clear of the rounded corners.
        const int width = std::max(0, this->width() - 60);
        const int height = note->heightForWidth(width);
        note->setGeometry(30, std::max(0, this->height() - height - 24), width, height);
        note->raise();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 30, 30);
        QColor plate = Appearance::secondaryLabelColor(this);
        plate.setAlphaF(0.2f * plate.alphaF());
        painter.fillPath(path, plate);
    }
    void resizeEvent(QResizeEvent*) override {
        for (QObject* child : children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget && widget != note) {
                widget->setGeometry(rect());
            }
        }
        placeNote();
        // The rounded square clips what lies on it.
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 30, 30);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
};

QLabel* title(const QString& text, QWidget* parent) {
    auto* label = cmviews::makeLabel(text, typefaceFace::semiBold, 16,
                                     parent->palette().color(QPalette::WindowText), parent);
    label->setContentsMargins(2, 0, 0, 8);
    return label;
}

}  // namespace

ConnectionsMonitorInProgressView::ConnectionsMonitorInProgressView(
    std::shared_ptr<ConnectionsMonitorViewModel> viewModel, MapFactory makeMap, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)), m_makeMap(std::move(makeMap)) {
    setObjectName(QStringLiteral("ConnectionsMonitorInProgressView"));
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(30, 0, 0, 0);
    columns->setSpacing(4);

    // The list column.
    auto* list = new QWidget(this);
    list->setMinimumWidth(350);
    auto* listColumn = new QVBoxLayout(list);
    listColumn->setContentsMargins(0, 0, 0, 44);
    listColumn->setSpacing(0);
    auto* headerRow = new QHBoxLayout();
    headerRow->setContentsMargins(0, 0, 12, 8);
    headerRow->addWidget(title(qtext(InterfaceText::connectionList), list));
    headerRow->addStretch();
    m_compromisedLabel =
        cmviews::makeLabel(QStringLiteral("Show compromised only"), typefaceFace::regular, 12,
                           Appearance::secondaryLabelColor(this), list);
    m_compromisedLabel->installEventFilter(this);
    m_compromisedLabel->setCursor(Qt::PointingHandCursor);
    m_checkMark = new CustomCheckMarkView(m_viewModel->showOnlyCompromised().get(), false, list);
    m_checkMark->onToggle = [this](bool checked) { m_viewModel->setShowOnlyCompromised(checked); };
    m_checkMark->setFocusPolicy(Qt::TabFocus);
    m_checkMark->setAccessibleName(QStringLiteral("Show compromised only"));
    m_search = new ConnetionsMonitorSearchFilter(list);
    m_search->onTextChanged = [this](const QString& text) {
        m_viewModel->setSearchFilterText(text.toStdString());
    };
    headerRow->addWidget(m_compromisedLabel);
    headerRow->addSpacing(6);
    headerRow->addWidget(m_checkMark);
    headerRow->addSpacing(8);
    headerRow->addWidget(m_search);
    listColumn->addLayout(headerRow);

    m_status = cmviews::makeLabel({}, typefaceFace::regular, 12,
                                  Appearance::secondaryLabelColor(this), list);
    m_status->setAlignment(Qt::AlignCenter);
    listColumn->addWidget(m_status, 1);

    m_scroll = new QScrollArea(list);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setMinimumWidth(350);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_listContent = new QWidget(m_scroll);
    m_listContent->setObjectName(QStringLiteral("ConnectionListContent"));
    m_listLayout = new QVBoxLayout(m_listContent);
    m_listLayout->setContentsMargins(0, 18, 0, 0);
    m_listLayout->setSpacing(0);
    m_clearAllRow = new QWidget(m_listContent);
    m_clearAllRow->setFixedHeight(80);
    auto* clearRow = new QHBoxLayout(m_clearAllRow);
    m_clearAll = new ClearAllButton([this] { m_viewModel->clearAllResults(); }, m_clearAllRow);
    clearRow->addStretch();
    clearRow->addWidget(m_clearAll);
    clearRow->addStretch();
    m_listLayout->addSpacing(40);
    m_listLayout->addWidget(m_clearAllRow);
    m_listLayout->addStretch();
    m_scroll->setWidget(m_listContent);
    // After setWidget, which turns it on: the window's background shows under the rows.
    m_listContent->setAutoFillBackground(false);
    listColumn->addWidget(m_scroll, 1);
    // The fades over both ends of the list.
    auto* topFade = new ScrollGradientView(true, 40, m_scroll);
    auto* bottomFade = new ScrollGradientView(false, 70, m_scroll);
    m_scroll->installEventFilter(this);
    topFade->setObjectName(QStringLiteral("topFade"));
    bottomFade->setObjectName(QStringLiteral("bottomFade"));
    topFade->followScrolling(m_scroll);
    bottomFade->followScrolling(m_scroll);
    columns->addWidget(list, 3);
    columns->addStretch(0);

    // The map column.
    auto* mapColumnWidget = new QWidget(this);
    mapColumnWidget->setMinimumWidth(200);
    auto* mapColumn = new QVBoxLayout(mapColumnWidget);
    mapColumn->setContentsMargins(0, 0, 12, 44);
    mapColumn->setSpacing(0);
    mapColumn->addWidget(title(qtext(InterfaceText::connectionMap), mapColumnWidget));
    m_mapPanel = new MapPanel(mapColumnWidget);
    mapColumn->addWidget(m_mapPanel);
    mapColumn->addStretch();
    m_prompt = new QWidget(m_mapPanel);
    auto* prompt = new QVBoxLayout(m_prompt);
    prompt->addStretch();
    auto* promptText = cmviews::makeWrappedLabel(
        QStringLiteral("Allow Tarnwick access to location services to enable interactive map of "
                       "connections."),
        typefaceFace::regular, 13, Appearance::secondaryLabelColor(this), 200, m_prompt);
    prompt->addWidget(promptText, 0, Qt::AlignHCenter);
    prompt->addSpacing(8);
    auto* activate = new QPushButton(QStringLiteral("Activate the Map"), m_prompt);
    activate->setObjectName(QStringLiteral("ActivateMapButton"));
    activate->setFont(Typeface::font(typefaceFace::regular, 12));
    activate->setFixedSize(132, 32);
    activate->setCursor(Qt::PointingHandCursor);
    activate->setStyleSheet(
        QStringLiteral("QPushButton { color: white; border: none; border-radius: 5px; "
                       "background: %1; }")
            .arg(Appearance::color(NamedColor::buttonColor()).name(QColor::HexArgb)));
    connect(activate, &QPushButton::clicked, this, [this] { m_viewModel->showMap(); });
    prompt->addWidget(activate, 0, Qt::AlignHCenter);
    prompt->addStretch();
    m_mapNote = cmviews::makeLabel({}, typefaceFace::regular, 12,
                                   palette().color(QPalette::WindowText), m_mapPanel);
    m_mapNote->setObjectName(QStringLiteral("MapNote"));
    m_mapNote->setWordWrap(true);
    m_mapNote->setAlignment(Qt::AlignCenter);
    // Legible over the countries it lies on.
    QColor noteBackground = Appearance::color(NamedColor::windowBackgroundColor());
    noteBackground.setAlphaF(0.85f);
    m_mapNote->setStyleSheet(
        QStringLiteral("color: %1; background: %2; border-radius: 8px; padding: 6px;")
            .arg(palette().color(QPalette::WindowText).name(QColor::HexArgb),
                 noteBackground.name(QColor::HexArgb)));
    m_mapNote->hide();
    static_cast<MapPanel*>(m_mapPanel)->note = m_mapNote;
    columns->addWidget(mapColumnWidget, 2);

    bindPublisher(m_viewModel->filteredApplications.publisher(), this,
                  [this](const auto&) { rebuildRows(); });
    bindPublisher(m_viewModel->isFixingBrokenExtension().publisher(), this,
                  [this](bool) { refreshStatus(); });
    bindPublisher(m_viewModel->didReplaceExtension.publisher(), this,
                  [this](bool) { refreshStatus(); });
    bindPublisher(m_viewModel->scanState.publisher(), this,
                  [this](ScanState) { refreshClearAll(); });
    bindPublisher(m_viewModel->showsMap.publisher(), this, [this](bool) { refreshMapPanel(); });
    bindPublisher(m_viewModel->userLocationUnavailability.publisher(), this,
                  [this](UserLocationUnavailability) { refreshMapPanel(); });
    // Permission given or withdrawn in the desktop's settings takes effect when the user comes
    // back to any window of the application.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window) {
            recheckLocation();
        }
    });
    bindPublisher(m_viewModel->showOnlyCompromised().publisher(), this, [this](bool show) {
        m_checkMark->setChecked(show);
        const auto applications = m_viewModel->filteredApplications.get();
        if (show && !applications.empty()) {
            scrollToRow(applications.front());
        }
    });
    bindPublisher(m_viewModel->searchFilterText().publisher(), this,
                  [this](const std::string& text) {
                      m_search->setText(qtext(text));
                      if (!text.empty()) {
                          scrollToRow(m_viewModel->expandedInfoForApp().get());
                      }
                  });
    bindPublisher(m_viewModel->expandedInfoForApp().publisher(), this,
                  [this](const std::shared_ptr<Application>& expanded) {
                      if (expanded) {
                          scrollToRow(expanded);
                      }
                  });
}

std::vector<ConnectionMonitorCellView*> ConnectionsMonitorInProgressView::rows() const {
    std::vector<ConnectionMonitorCellView*> rows;
    for (int index = 0; index < m_listLayout->count(); ++index) {
        if (auto* row =
                qobject_cast<ConnectionMonitorCellView*>(m_listLayout->itemAt(index)->widget())) {
            rows.push_back(row);
        }
    }
    return rows;
}

void ConnectionsMonitorInProgressView::rebuildRows() {
    const auto applications = m_viewModel->filteredApplications.get();
    std::map<const Application*, ConnectionMonitorCellView*> kept;
    for (std::size_t index = 0; index < applications.size(); ++index) {
        const auto& application = applications[index];
        const bool isLast = index + 1 == applications.size();
        ConnectionMonitorCellView* row = nullptr;
        if (const auto found = m_rows.find(application.get()); found != m_rows.end()) {
            row = found->second;
            m_rows.erase(found);
            row->setIsLast(isLast);
        } else {
            row = new ConnectionMonitorCellView(application, m_viewModel, isLast, m_listContent);
        }
        m_listLayout->insertWidget(int(index), row);
        kept[application.get()] = row;
    }
    for (auto& [application, row] : m_rows) {
        delete row;
    }
    m_rows = std::move(kept);
    refreshStatus();
    refreshClearAll();
}

void ConnectionsMonitorInProgressView::refreshStatus() {
    const bool empty = m_viewModel->filteredApplications.get().empty();
    m_scroll->setVisible(!empty);
    m_status->setVisible(empty);
    const bool fixing = m_viewModel->isFixingBrokenExtension().get();
    if (!fixing) {
        m_status->setText(QStringLiteral("Nothing here yet..."));
    } else if (m_viewModel->didReplaceExtension.get()) {
        m_status->setText(QStringLiteral("Updating your Network Scanner..."));
    } else {
        m_status->setText(QStringLiteral("Fixing your Network Scanner..."));
    }
}

void ConnectionsMonitorInProgressView::refreshClearAll() {
    m_clearAllRow->setVisible(m_viewModel->scanState.get() != ScanState::active &&
                              !m_viewModel->filteredApplications.get().empty());
}

void ConnectionsMonitorInProgressView::refreshMapPanel() {
    const bool shows = m_viewModel->showsMap.get();
    if (shows && !m_map && m_makeMap) {
        m_map = m_makeMap(m_mapPanel);
        if (m_map) {
            m_map->setGeometry(m_mapPanel->rect());
        }
    }
    if (m_map) {
        m_map->setVisible(shows);
    }
    m_prompt->setVisible(!shows);
    QString note;
    if (shows && !m_viewModel->locationManager()->isAuthorized()) {
        switch (m_viewModel->userLocationUnavailability.get()) {
            case UserLocationUnavailability::none:
                break;
            case UserLocationUnavailability::noLocationService:
                note = QStringLiteral(
                    "This computer has no location service, so the map shows the servers without "
                    "lines from your position.");
                break;
            case UserLocationUnavailability::noLocationSettings:
                note = QStringLiteral(
                    "Location access is off and this desktop has no location settings to turn it "
                    "on, so the map shows the servers without lines from your position.");
                break;
        }
    }
    m_mapNote->setText(note);
    m_mapNote->setVisible(!note.isEmpty());
    static_cast<MapPanel*>(m_mapPanel)->placeNote();
}

void ConnectionsMonitorInProgressView::recheckLocation() {
    std::weak_ptr<ConnectionsMonitorViewModel> weakModel = m_viewModel;
    m_viewModel->locationManager()->refreshAuthorization([weakModel] {
        const auto model = weakModel.lock();
        if (!model) {
            return;
        }
        if (model->showsMap.get()) {
            model->hideMapIfLocationDenied();
        } else {
            model->restoreMapIfLocationAllowed();
        }
    });
}

void ConnectionsMonitorInProgressView::scrollToRow(
    const std::shared_ptr<Application>& application) {
    const auto found = application ? m_rows.find(application.get()) : m_rows.end();
    const int top = found == m_rows.end() ? 0 : found->second->y() - 18;
    m_scroll->verticalScrollBar()->setValue(std::max(0, top));
}

bool ConnectionsMonitorInProgressView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_compromisedLabel && event->type() == QEvent::MouseButtonRelease) {
        m_viewModel->setShowOnlyCompromised(!m_viewModel->showOnlyCompromised().get());
        return true;
    }
    if (watched == m_scroll && event->type() == QEvent::Resize) {
        auto* top = m_scroll->findChild<ScrollGradientView*>(QStringLiteral("topFade"));
        auto* bottom = m_scroll->findChild<ScrollGradientView*>(QStringLiteral("bottomFade"));
        if (top && bottom) {
            top->setGeometry(0, 0, m_scroll->width(), 40);
            bottom->setGeometry(0, m_scroll->height() - 70, m_scroll->width(), 70);
            top->raise();
            bottom->raise();
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnwick
