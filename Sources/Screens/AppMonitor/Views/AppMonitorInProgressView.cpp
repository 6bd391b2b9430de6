#include "Screens/AppMonitor/Views/AppMonitorInProgressView.h"

namespace tarnwick {

AppMonitorInProgressView::AppMonitorInProgressView(AppMonitorViewModel& viewModel, QWidget* parent)
    : MascotStageView(viewModel, parent) {
    setObjectName(QStringLiteral("AppMonitorInProgressView"));
}

}  // namespace tarnwick
