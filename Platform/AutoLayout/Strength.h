#pragma once

namespace tarnwick::autolayout {

// How much the solver cares about a constraint. Required constraints must hold exactly; the others
// are weighed against each other, and each level is a thousand times the one below so that one
// stronger constraint outweighs any practical number of weaker ones.
namespace strength {
inline constexpr double weak = 1.0;
inline constexpr double medium = 1.0e3;
inline constexpr double strong = 1.0e6;
inline constexpr double required = 1.0e9;

// A strength from a layout priority on the usual 1 ... 1000 scale, where 1000 is required. The
// scale is exponential so that, like the levels above, 750 clearly outweighs 250 while 999 still
// stays below required.
double fromPriority(double priority);
}  // namespace strength

}  // namespace tarnwick::autolayout
