#pragma once

#include "Screens/Settings/Views/SettingsWindowServices.h"
#include "Tools/SettingsTab.h"

#include <QWidget>

#include <memory>
#include <vector>

namespace tarnwick {

class SettingsHeader;
class SettingsTabButtonView;
class SettingsViewModel;

// The settings screen: the header over a column of tab buttons beside the body of the model's
// current tab. The tab belongs to the model, so the screen shows the last one chosen when the
// user comes back; a body is made afresh whenever the tab changes.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(std::shared_ptr<SettingsViewModel> viewModel, std::vector<SettingsTab> tabs,
                 SettingsWindowServices window = {}, QWidget* parent = nullptr);
    ~SettingsView() override;

    // Used for testing only
    SettingsHeader* header() const { return m_header; }
    SettingsTabButtonView* tabButton(SettingsTab tab) const;
    // The body shown, for the tab it was made for.
    QWidget* body() const { return m_body; }

private:
    void showTab(SettingsTab tab);

    const std::shared_ptr<SettingsViewModel> m_viewModel;
    const SettingsWindowServices m_window;
    SettingsHeader* m_header;
    std::vector<SettingsTabButtonView*> m_buttons;
    QWidget* m_bodyColumn;
    QWidget* m_body = nullptr;
    SettingsTab m_shownTab = SettingsTab::restrictions;
};

}  // namespace tarnwick
