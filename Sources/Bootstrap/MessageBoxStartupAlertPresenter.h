#pragma once

#include "Shell/StartupAlertPresenter.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarnwick {

// The start-up alerts as message boxes over the main window, which may not exist yet or be gone.
class MessageBoxStartupAlertPresenter final : public StartupAlertPresenter {
public:
    explicit MessageBoxStartupAlertPresenter(std::function<QWidget*()> parent);

    bool confirmMove(const std::string& informativeText) override;
    void reportMoveFailure(const std::string& message) override;
    void reportUpdateCheck(const std::string& message) override;

private:
    std::function<QWidget*()> m_parent;
};

}  // namespace tarnwick
