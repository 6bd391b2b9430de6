#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorInstallView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorHeader.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorStandByView.h"
#include "WidgetKit/Controls/NoNetworkPopUp.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace tarnwick {

ConnectionMonitorView::Body ConnectionMonitorView::bodyFor(bool isInstalled, bool didInitiate) {
    if (!isInstalled) {
        return Body::install;
    }
    return didInitiate ? Body::inProgress : Body::standBy;
}

ConnectionMonitorView::ConnectionMonitorView(std::shared_ptr<ConnectionsMonitorViewModel> viewModel,
                                             Services services, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)), m_services(std::move(services)) {
    setObjectName(QStringLiteral("ConnectionMonitorView"));
    if (!m_services.notificationCenter) {
        m_services.notificationCenter = &NotificationCenter::defaultCenter();
    }
    if (!m_services.scheduler) {
        m_services.scheduler = &Scheduler::system();
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_header = new ConnectionsMonitorHeader(m_viewModel, *m_services.notificationCenter,
                                            *m_services.scheduler, this);
    column->addWidget(m_header);
    m_popUp = new NoNetworkPopUp(this);
    m_popUp->hide();

    const auto choose = [this](bool) { chooseBody(); };
    bindPublisher(m_viewModel->isInstalled.publisher(), this, choose);
    bindPublisher(m_viewModel->didInitiate.publisher(), this, choose);
    bindPublisher(m_viewModel->isConnectedToNetwork.publisher(), this, [this](bool connected) {
        m_popUp->setVisible(!connected);
        if (!connected) {
            placePopUp();
            m_popUp->raise();
        }
    });
}

void ConnectionMonitorView::chooseBody() {
    const Body body = bodyFor(m_viewModel->isInstalled.get(), m_viewModel->didInitiate.get());
    if (m_hasBody && body == m_body) {
        return;
    }
    m_hasBody = true;
    m_body = body;
    delete m_bodyView;
    QWidget* view = nullptr;
    switch (body) {
        case Body::install:
            view = new ConnectionMonitorInstallView(m_services.moveToApplications, this);
            break;
        case Body::standBy:
            view = new ConnectionsMonitorStandByView(m_viewModel, this);
            break;
        case Body::inProgress: {
            view = new ConnectionsMonitorInProgressView(m_viewModel, m_services.makeMap, this);
            // The live list fades in.
            auto* opacity = new QGraphicsOpacityEffect(view);
            view->setGraphicsEffect(opacity);
            auto* fade = new QPropertyAnimation(opacity, "opacity", view);
            fade->setStartValue(0.0);
            fade->setEndValue(1.0);
            fade->setDuration(250);
            fade->setEasingCurve(QEasingCurve::InOutQuad);
            connect(fade, &QPropertyAnimation::finished, view,
                    [view] { view->setGraphicsEffect(nullptr); });
            fade->start(QAbstractAnimation::DeleteWhenStopped);
            break;
        }
    }
    m_bodyView = view;
    static_cast<QVBoxLayout*>(layout())->addWidget(view, 1);
    m_popUp->raise();
}

void ConnectionMonitorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_viewModel->isUndesirableCountriesListFetched.set(
        m_viewModel->undesirableCountriesManager().didFetchUndesirableCountries());
    if (!m_viewModel->didSetupMonitor()) {
        m_viewModel->refreshFilterStatus();
    }
}

void ConnectionMonitorView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePopUp();
}

void ConnectionMonitorView::placePopUp() {
    const int height = m_popUp->sizeHint().height();
    m_popUp->setGeometry(0, this->height() - height, width(), height);
}

}  // namespace tarnwick
