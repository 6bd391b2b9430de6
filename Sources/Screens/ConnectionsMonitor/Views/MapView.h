#pragma once

#include "MapKit/CityIndex.h"
#include "MapKit/MKMapView.h"
#include "MapKit/MapScene.h"
#include "MapKit/WorldAtlas.h"

#include <QWidget>

#include <memory>

namespace tarnwick {

// The connection map in the map panel: our map view over the model's scene, muted (drawn at
// 0.7 opacity with paler colours), so a rebuilt panel shows what the scene holds.
class MapView : public QWidget {
    Q_OBJECT

public:
    MapView(std::shared_ptr<MapScene> scene, std::shared_ptr<const WorldAtlas> atlas,
            QWidget* parent = nullptr);

    MKMapView* map() const { return m_map; }
    // The countries from the bundle's resources, read once; none when they cannot be read.
    static std::shared_ptr<const WorldAtlas> sharedAtlas();
    // The city table from the bundle's resources, read on first use; none when unreadable.
    static std::shared_ptr<const CityIndex> sharedCities();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    MKMapView* m_map;
};

}  // namespace tarnwick
