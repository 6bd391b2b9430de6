#pragma once

namespace tarnwick {

// The phase of an App Monitor scan or of connection monitoring; both mascots follow it.
// The connection monitor uses only the first two cases.
enum class ScanState {
    standBy,
    active,
    done,
};

}  // namespace tarnwick
