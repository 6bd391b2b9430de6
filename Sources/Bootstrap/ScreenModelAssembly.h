#pragma once

#include "Shell/Views/Main/ScreenModels.h"

namespace tarnwick {

class ApplicationServices;
class MainWindow;

// The screens' models as the application runs them: every service from `services`, which
// outlives them, the desktop's notification and location services, and alerts and sheets on the
// main window.
ScreenModels makeScreenModels(MainWindow& window, ApplicationServices& services);

}  // namespace tarnwick
