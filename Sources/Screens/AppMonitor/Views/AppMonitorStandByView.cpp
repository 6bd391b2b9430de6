#include "Screens/AppMonitor/Views/AppMonitorStandByView.h"

namespace tarnwick {

AppMonitorStandByView::AppMonitorStandByView(AppMonitorViewModel& viewModel, QWidget* parent)
    : MascotStageView(viewModel, parent) {
    setObjectName(QStringLiteral("AppMonitorStandByView"));
}

}  // namespace tarnwick
