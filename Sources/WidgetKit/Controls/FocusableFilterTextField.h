#pragma once

#include "WidgetKit/Controls/FilterTextField.h"

namespace tarnwick {

// The filter field that, with automatic focus, takes the keyboard focus once it is on screen, in
// the main queue's next turn rather than during the show itself.
class FocusableFilterTextField : public FilterTextField {
    Q_OBJECT

public:
    explicit FocusableFilterTextField(bool automaticFocus, QWidget* parent = nullptr)
        : FilterTextField(automaticFocus, parent) {}
};

}  // namespace tarnwick
