#include "Screens/ConnectionsMonitor/Views/MapView.h"

#include "Foundation/Bundle.h"
#include "Logging/LogHub.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QGraphicsOpacityEffect>

namespace tarnwick {

namespace {

// Saturation 0.7: each colour moved three tenths of the way to its grey.
QColor muted(QColor color) {
    const int grey = qGray(color.rgb());
    return QColor(int(color.red() * 0.7 + grey * 0.3), int(color.green() * 0.7 + grey * 0.3),
                  int(color.blue() * 0.7 + grey * 0.3), color.alpha());
}

}  // namespace

std::shared_ptr<const WorldAtlas> MapView::sharedAtlas() {
    static const std::shared_ptr<const WorldAtlas> atlas = [] {
        auto read = WorldAtlas::read(Bundle::main().resourcePath() / "countries-110m.json");
        if (!read) {
            LogHub::error("The map shows no countries: " + read.error());
            return std::shared_ptr<const WorldAtlas>();
        }
        return std::make_shared<const WorldAtlas>(std::move(read).value());
    }();
    return atlas;
}

std::shared_ptr<const CityIndex> MapView::sharedCities() {
    static const std::shared_ptr<const CityIndex> cities = [] {
        auto read = CityIndex::read(Bundle::main().resourcePath() / "cities.json");
        if (!read) {
            LogHub::error("The map names no cities: " + read.error());
            return std::shared_ptr<const CityIndex>();
        }
        return std::make_shared<const CityIndex>(std::move(read).value());
    }();
    return cities;
}

MapView::MapView(std::shared_ptr<MapScene> scene, std::shared_ptr<const WorldAtlas> atlas,
                 QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("MapView"));
    MKMapView::Appearance look;
    look.color = [](std::string_view name) { return muted(Appearance::color(name)); };
    look.image = [this](std::string_view name, QSize size) {
        // The circles take the map's tint, so they show on light and dark land alike.
        return ImageAsset::tinted(name, size, Appearance::color(NamedColor::mapTintColor()),
                                  devicePixelRatioF());
    };
    look.labelFont = Typeface::font(typefaceFace::light, 12);
    if (Appearance::isDark()) {
        look.water = QColor(0x1E, 0x24, 0x30);
        look.land = QColor(0x33, 0x38, 0x44);
        look.border = QColor(0x4A, 0x50, 0x5E);
    }
    look.water = muted(look.water);
    m_map = new MKMapView(std::move(scene), std::move(atlas), std::move(look), this);
    auto* opacity = new QGraphicsOpacityEffect(this);
    opacity->setOpacity(0.7);
    setGraphicsEffect(opacity);
}

void MapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_map->setGeometry(rect());
}

}  // namespace tarnwick
