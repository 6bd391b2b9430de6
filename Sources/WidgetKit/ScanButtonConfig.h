#pragma once

#include "Tools/ScanState.h"

#include <optional>
#include <string>

namespace tarnwick {

// Icons and titles of the scan button for the three scan states. A state without an icon or a
// title hides the button in that state.
struct ScanButtonConfig {
    struct Triple {
        std::string standBy;
        std::optional<std::string> active;
        std::optional<std::string> done;
    };
    Triple icons;
    Triple titles;

    struct Face {
        std::string icon;
        std::string title;
    };
    // What the button shows in a state, or nothing when it is hidden then.
    std::optional<Face> face(ScanState state) const;
    // The state a tap asks for: active stops, the others start.
    static ScanState requestedState(ScanState current);

    static ScanButtonConfig appMonitor();
    static ScanButtonConfig connectionsMonitor();
};

}  // namespace tarnwick
