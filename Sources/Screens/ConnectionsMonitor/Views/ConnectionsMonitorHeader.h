#pragma once

#include "Dispatch/Scheduler.h"
#include "Foundation/NotificationCenter.h"
#include "Tools/ScanState.h"

#include <QWidget>

#include <memory>

namespace tarnwick {

class ConnectionsMonitorViewModel;
class ScanButtonView;

// The title of the Connections Monitor and its Start/Stop button. The button starts or stops by
// the model's status, then hands the state it asked for to the model's scan state.
class ConnectionsMonitorHeader : public QWidget {
    Q_OBJECT

public:
    ConnectionsMonitorHeader(std::shared_ptr<ConnectionsMonitorViewModel> viewModel,
                             NotificationCenter& notificationCenter, Scheduler& scheduler,
                             QWidget* parent = nullptr);

    ScanButtonView* scanButton() const { return m_button; }
    QWidget* configuringIndicator() const { return m_configuring; }
    // The button's action, given the state the press asks for.
    void buttonAction(ScanState requested);

private:
    void refresh();

    const std::shared_ptr<ConnectionsMonitorViewModel> m_viewModel;
    ScanButtonView* m_button;
    QWidget* m_configuring;
};

}  // namespace tarnwick
