#include "AutoLayout/Strength.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::autolayout::strength {

double fromPriority(double priority) {
    if (priority >= 1000) {
        return required;
    }
    const double clamped = std::clamp(priority, 1.0, 999.0);
    // 1 maps to about weak, 250 to about 30, 500 to medium, 750 to about 3e4, 999 to about strong.
    return std::pow(10.0, 6.0 * clamped / 1000.0);
}

}  // namespace tarnwick::autolayout::strength
