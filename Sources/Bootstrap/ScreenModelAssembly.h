#pragma once

#include "Shell/Views/Main/ScreenModels.h"

namespace tarnwick {

class MainWindow;

// The screens' models as the application runs them: the engine over the extension's managers,
// the desktop's notification and location services, and alerts and sheets on the main window.
ScreenModels makeScreenModels(MainWindow& window);

}  // namespace tarnwick
