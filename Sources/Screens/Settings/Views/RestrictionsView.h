#pragma once

#include <QWidget>

#include <memory>
#include <vector>

class QVBoxLayout;

namespace tarnwick {

class DetectionLevelView;
class SettingsRestrictionRuleCell;
class SettingsViewModel;

// The restrictions tab: the required rules, always on, beside the additional rules the user
// switches, and the detection-level bar under both. Every tick goes straight to the model, which
// stores the selection.
class RestrictionsView : public QWidget {
    Q_OBJECT

public:
    explicit RestrictionsView(std::shared_ptr<SettingsViewModel> viewModel,
                              QWidget* parent = nullptr);
    ~RestrictionsView() override;

    // Used for testing only
    const std::vector<SettingsRestrictionRuleCell*>& requiredCells() const {
        return m_requiredCells;
    }
    const std::vector<SettingsRestrictionRuleCell*>& additionalCells() const {
        return m_additionalCells;
    }
    DetectionLevelView* detectionLevelView() const { return m_detectionLevelView; }

private:
    void rebuildAdditionalCells();
    void refreshChecks();

    const std::shared_ptr<SettingsViewModel> m_viewModel;
    std::vector<SettingsRestrictionRuleCell*> m_requiredCells;
    std::vector<SettingsRestrictionRuleCell*> m_additionalCells;
    QVBoxLayout* m_additionalList;
    DetectionLevelView* m_detectionLevelView;
};

}  // namespace tarnwick
