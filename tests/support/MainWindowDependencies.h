#pragma once

#include "Shell/Views/Main/MainWindow.h"

namespace tarnwick::testing {

// A main window for a test: its own notification centre and clock, and a promotion already shown,
// so no sheet covers the screens the test looks at.
inline MainWindow::Dependencies mainWindowDependencies(NotificationCenter& center,
                                                       Scheduler& scheduler) {
    MainWindow::Dependencies dependencies;
    dependencies.notificationCenter = &center;
    dependencies.scheduler = &scheduler;
    dependencies.promotionStore = {[] { return 1; }, [] { return true; }, [] {}};
    return dependencies;
}

}  // namespace tarnwick::testing
