#pragma once

#include <QWidget>

#include "Shell/AppActiveScreenType.h"

namespace tarnwick {

// Stands in for a screen that is not built yet, named as such.
class ScreenPlaceholderView : public QWidget {
    Q_OBJECT

public:
    explicit ScreenPlaceholderView(AppActiveScreenType screen, QWidget* parent = nullptr);
};

}  // namespace tarnwick
