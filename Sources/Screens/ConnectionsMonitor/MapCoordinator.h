#pragma once

#include "Screens/ConnectionsMonitor/Hit.h"
#include "Tools/WhoIs.h"

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// What the connection monitor asks of the map that draws the servers: the map screen implements
// it and hands it to the model and the location manager. Main queue only.
class MapCoordinator {
public:
    using Coordinates = WhoIs::Response::Coordinates;
    virtual ~MapCoordinator() = default;

    // When set, the next redraw may move the map; cleared after a move.
    virtual bool canAnimateMap() const = 0;
    virtual void setCanAnimateMap(bool canAnimate) = 0;
    virtual std::optional<Coordinates> userLocation() const = 0;
    virtual void setUserLocation(std::optional<Coordinates> location) = 0;
    virtual void setShowsUserLocation(bool shows) = 0;

    // The region of `metres` north-south and east-west around `center`, animated.
    virtual void setRegion(const Coordinates& center, double metres) = 0;
    virtual void removeAllAnnotationsAndOverlays() = 0;
    virtual void update(const std::vector<std::shared_ptr<Hit>>& hits, bool reset) = 0;
    virtual void drawOverlays(const std::vector<std::shared_ptr<Hit>>& hits) = 0;
};

}  // namespace tarnwick
