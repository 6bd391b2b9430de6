#include "MapKit/MapScene.h"

#include <algorithm>

namespace tarnwick {

void HitAnnotation::setImage(std::string name) {
    m_image = std::move(name);
    m_imageSide = static_cast<int>(m_imageSize);
}

void HitAnnotation::setCount(int count) {
    m_count = count;
    if (m_imageSide) {
        m_imageSide = count < 20 ? static_cast<int>(m_imageSize) + count : 20;
    }
}

void MapScene::changed() {
    if (onChange) {
        onChange();
    }
}

void MapScene::setUserLocation(std::optional<CLLocationCoordinate2D> location) {
    m_userLocation = location;
    changed();
}

void MapScene::setShowsUserLocation(bool shows) {
    m_showsUserLocation = shows;
    changed();
}

void MapScene::addHitAnnotation(std::shared_ptr<HitAnnotation> annotation) {
    m_hits.push_back(std::move(annotation));
    changed();
}

void MapScene::addCityName(HitCityNameAnnotation annotation) {
    m_cityNames.push_back(std::move(annotation));
    changed();
}

void MapScene::addOverlay(std::shared_ptr<LineOverlay> overlay, MKOverlayLevel level) {
    m_overlays.push_back({std::move(overlay), level});
    changed();
}

void MapScene::removeAnnotations(const CLLocationCoordinate2D& coordinate) {
    std::erase_if(m_hits, [&](const auto& hit) { return hit->coordinate() == coordinate; });
    std::erase_if(m_cityNames, [&](const auto& label) { return label.coordinate == coordinate; });
    changed();
}

void MapScene::removeAllAnnotationsAndOverlays() {
    m_hits.clear();
    m_cityNames.clear();
    m_overlays.clear();
    changed();
}

void MapScene::setRegion(const MKCoordinateRegion& region, bool animated) {
    const int serial = m_region ? m_region->serial + 1 : 1;
    m_region = RegionChange{mapgeometry::clamped(region), animated, serial};
    changed();
}

}  // namespace tarnwick
