#pragma once

#include "Shell/AppActiveScreenType.h"

class QWidget;

namespace tarnwick {

class MainWindow;

// The view of a screen over the window's models, or none when that screen has no view yet.
QWidget* makeScreenView(AppActiveScreenType screen, MainWindow& window, QWidget* parent);

}  // namespace tarnwick
