#include "Screens/Settings/Views/SettingsView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/AllowancesListView.h"
#include "Screens/Settings/Views/RestrictionsView.h"
#include "Screens/Settings/Views/SettingsHeader.h"
#include "Screens/Settings/Views/SettingsTabButtonView.h"
#include "Screens/Settings/Views/TargetCoutriesView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tarnwick {

SettingsView::SettingsView(std::shared_ptr<SettingsViewModel> viewModel,
                           std::vector<SettingsTab> tabs, SettingsWindowServices window,
                           QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)), m_window(std::move(window)) {
    setObjectName(QStringLiteral("SettingsView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    m_header = new SettingsHeader(m_window.presentPromotion, this);
    stack->addWidget(m_header);

    auto* row = new QHBoxLayout();
    auto* tabColumn = new QVBoxLayout();
    for (const SettingsTab tab : tabs) {
        std::weak_ptr<SettingsViewModel> weakModel = m_viewModel;
        auto* button = new SettingsTabButtonView(
            tab,
            [weakModel](SettingsTab pressed) {
                if (const auto model = weakModel.lock()) {
                    model->currentTab = pressed;
                }
            },
            this);
        m_buttons.push_back(button);
        tabColumn->addWidget(button, 0, Qt::AlignHCenter);
    }
    tabColumn->addStretch();
    row->addLayout(tabColumn);

    m_bodyColumn = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(m_bodyColumn);
    bodyLayout->setContentsMargins(0, 0, 12, 0);
    row->addWidget(m_bodyColumn, 1);
    stack->addLayout(row, 1);

    m_shownTab = m_viewModel->currentTab.get();
    showTab(m_shownTab);
    bindPublisher(m_viewModel->currentTab.publisher(), this, [this](const SettingsTab& tab) {
        if (tab != m_shownTab || m_body == nullptr) {
            showTab(tab);
        }
    });
}

SettingsView::~SettingsView() = default;

SettingsTabButtonView* SettingsView::tabButton(SettingsTab tab) const {
    for (auto* button : m_buttons) {
        if (button->tab() == tab) {
            return button;
        }
    }
    return nullptr;
}

void SettingsView::showTab(SettingsTab tab) {
    m_shownTab = tab;
    for (auto* button : m_buttons) {
        button->setSelected(button->tab() == tab);
    }
    if (m_body != nullptr) {
        m_body->hide();
        m_body->deleteLater();
    }
    switch (tab) {
        case SettingsTab::restrictions:
            m_body = new RestrictionsView(m_viewModel, m_bodyColumn);
            break;
        case SettingsTab::targetCoutries:
            m_body = new TargetCoutriesView(m_viewModel, m_window.frame, m_bodyColumn);
            break;
        case SettingsTab::connectionsList:
            m_body = new AllowancesListView(m_viewModel, m_bodyColumn);
            break;
    }
    m_bodyColumn->layout()->addWidget(m_body);
    m_body->show();
}

}  // namespace tarnwick
