#pragma once

#include "Shell/AppActiveScreenType.h"

#include <QWidget>

namespace tarnwick {

// Stands in for a screen that is not built yet, named as such.
class ScreenPlaceholderView : public QWidget {
    Q_OBJECT

public:
    explicit ScreenPlaceholderView(AppActiveScreenType screen, QWidget* parent = nullptr);
};

}  // namespace tarnwick
