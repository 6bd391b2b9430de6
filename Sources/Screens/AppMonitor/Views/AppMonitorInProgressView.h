#pragma once

#include "Screens/AppMonitor/Views/MascotStageView.h"

namespace tarnwick {

// The body while a scan runs: the animated mascot over the current stage's text.
class AppMonitorInProgressView : public MascotStageView {
    Q_OBJECT

public:
    explicit AppMonitorInProgressView(AppMonitorViewModel& viewModel, QWidget* parent = nullptr);
};

}  // namespace tarnwick
