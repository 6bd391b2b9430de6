#pragma once

namespace tarnwick {

// The attributes of a view that a constraint can relate. The values are fixed: layout code
// converts its own attribute numbers to these by identity.
enum class LayoutAttribute {
    notAnAttribute = 0,
    left = 1,
    right = 2,
    top = 3,
    bottom = 4,
    leading = 5,
    trailing = 6,
    width = 7,
    height = 8,
    centerX = 9,
    centerY = 10,
    lastBaseline = 11,
};

enum class LayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

// Layout priorities on the usual scale; anything below required may be broken.
namespace layoutPriority {
inline constexpr float required = 1000;
inline constexpr float defaultHigh = 750;
inline constexpr float defaultLow = 250;
inline constexpr float fittingSizeCompression = 50;
}  // namespace layoutPriority

}  // namespace tarnwick
