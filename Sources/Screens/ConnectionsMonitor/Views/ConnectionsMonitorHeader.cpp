#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorHeader.h"

#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/Controls/ScanButtonView.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/ScanButtonConfig.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tarnwick {

ConnectionsMonitorHeader::ConnectionsMonitorHeader(
    std::shared_ptr<ConnectionsMonitorViewModel> viewModel, NotificationCenter& notificationCenter,
    Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)) {
    setObjectName(QStringLiteral("ConnectionsMonitorHeader"));
    setMaximumHeight(90 + 40);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 40, 0, 0);

    auto* texts = new QWidget(this);
    texts->setMinimumWidth(600);
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(30, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(cmviews::makeLabel(QStringLiteral("Connection Monitor"), typefaceFace::bold,
                                         25, palette().color(QPalette::WindowText), texts));
    column->addWidget(cmviews::makeLabel(
        QStringLiteral("Examine web traffic of apps and processes running on your computer"),
        typefaceFace::regular, 13, Appearance::secondaryLabelColor(this), texts));
    row->addWidget(texts);
    row->addStretch();

    auto* buttonBlock = new QWidget(this);
    auto* buttonRow = new QHBoxLayout(buttonBlock);
    buttonRow->setContentsMargins(0, 0, 16, 0);
    m_configuring = new QWidget(buttonBlock);
    m_configuring->setMinimumWidth(160);
    auto* configuring = new QHBoxLayout(m_configuring);
    configuring->setContentsMargins(0, 0, 0, 0);
    auto* spinner = new QProgressBar(m_configuring);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 6);
    configuring->addWidget(spinner);
    configuring->addWidget(
        cmviews::makeLabel(qtext(InterfaceText::configuring), typefaceFace::regular, 13,
                           Appearance::secondaryLabelColor(this), m_configuring));
    auto* symbol = new QLabel(m_configuring);
    symbol->setPixmap(ImageAsset::tinted("network.slash", QSize(13, 13),
                                         Appearance::secondaryLabelColor(this),
                                         devicePixelRatioF()));
    configuring->addWidget(symbol);
    configuring->addStretch();
    buttonRow->addWidget(m_configuring);
    m_button = new ScanButtonView(
        ScanButtonConfig::connectionsMonitor(),
        [this](ScanState requested) { buttonAction(requested); }, buttonBlock, notificationCenter,
        scheduler);
    buttonRow->addWidget(m_button);
    row->addWidget(buttonBlock);

    const auto refreshOnChange = [this](const auto&) { refresh(); };
    bindPublisher(m_viewModel->scanState.publisher(), this, refreshOnChange);
    bindPublisher(m_viewModel->status.publisher(), this, refreshOnChange);
    bindPublisher(m_viewModel->isInstalled.publisher(), this, refreshOnChange);
    bindPublisher(m_viewModel->isConnectedToNetwork.publisher(), this, refreshOnChange);
    bindPublisher(m_viewModel->isUndesirableCountriesListFetched.publisher(), this,
                  refreshOnChange);
    bindPublisher(m_viewModel->isFixingBrokenExtension().publisher(), this, refreshOnChange);
    bindPublisher(m_viewModel->isConfiguringExtensionForFirstTime().publisher(), this,
                  refreshOnChange);
}

void ConnectionsMonitorHeader::buttonAction(ScanState requested) {
    switch (m_viewModel->status.get()) {
        case ConnectionsMonitorViewModel::Status::stopped:
            m_viewModel->startMonitoring();
            break;
        case ConnectionsMonitorViewModel::Status::running:
            m_viewModel->stopFilter();
            break;
        case ConnectionsMonitorViewModel::Status::configuring:
        case ConnectionsMonitorViewModel::Status::indeterminate:
            break;
    }
    m_viewModel->scanState.set(requested);
}

void ConnectionsMonitorHeader::refresh() {
    const bool configuring = m_viewModel->isConfiguringExtensionForFirstTime().get();
    m_button->setVisible(m_viewModel->isInstalled.get());
    m_button->setState(m_viewModel->scanState.get());
    m_button->setButtonEnabled(m_viewModel->isConnectedToNetwork.get());
    m_button->setNoTargetCountryButtonHidden(m_viewModel->isUndesirableCountriesListFetched.get() ||
                                             configuring);
    m_button->setEnabled(!configuring && !m_viewModel->isFixingBrokenExtension().get());
    m_configuring->setVisible(configuring && m_viewModel->isInstalled.get());
}

}  // namespace tarnwick
