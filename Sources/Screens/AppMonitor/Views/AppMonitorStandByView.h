#pragma once

#include "Screens/AppMonitor/Views/MascotStageView.h"

namespace tarnwick {

// The body while no scan runs: the welcome or the last result's mascot and text.
class AppMonitorStandByView : public MascotStageView {
    Q_OBJECT

public:
    explicit AppMonitorStandByView(AppMonitorViewModel& viewModel, QWidget* parent = nullptr);
};

}  // namespace tarnwick
