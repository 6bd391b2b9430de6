#pragma once

#include "MapKit/MapScene.h"
#include "MapKit/WorldAtlas.h"

#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <memory>
#include <string_view>

namespace tarnwick {

// Strokes one line or arc overlay: its style is read once, at creation; the path is built from
// the overlay's two points in the view's drawing space whenever the view asks.
class MapLineOverlayRenderer {
public:
    explicit MapLineOverlayRenderer(std::shared_ptr<LineOverlay> overlay);

    const LineOverlay& lineOverlay() const { return *m_overlay; }
    double lineWidth() const { return m_lineWidth; }
    double alpha() const { return m_alpha; }
    const std::string& strokeColor() const { return m_strokeColor; }
    // The drawn path, or an empty one for an overlay without coordinates.
    QPainterPath createPath(const std::function<QPointF(MKMapPoint)>& toPoint,
                            const std::function<MKMapPoint(QPointF)>& toMapPoint) const;

private:
    std::shared_ptr<LineOverlay> m_overlay;
    std::string m_strokeColor;
    double m_lineWidth;
    double m_alpha;
};

// Our map view: the countries in Web Mercator and the scene over them (lines and arcs, circles,
// city names, the user's position). The user pans by dragging and zooms with the wheel; a region
// the scene asks for is shown, animated when asked. The world repeats east and west, so a region
// across the 180th meridian shows both sides.
class MKMapView : public QWidget {
    Q_OBJECT

public:
    struct Appearance {
        // A named colour of the application's catalogue.
        std::function<QColor(std::string_view)> color;
        // A named image at a size in points.
        std::function<QPixmap(std::string_view, QSize)> image;
        QFont labelFont;
        QColor water = QColor(0xE4, 0xEA, 0xF1);
        QColor land = QColor(0xF7, 0xF7, 0xF4);
        QColor border = QColor(0xC6, 0xCB, 0xD3);
    };

    MKMapView(std::shared_ptr<MapScene> scene, std::shared_ptr<const WorldAtlas> atlas,
              Appearance appearance, QWidget* parent = nullptr);
    ~MKMapView() override;

    const MKMapRect& visibleMapRect() const { return m_visible; }
    void setVisibleMapRect(const MKMapRect& rect, bool animated);
    // The widget point of a map point, in the copy of the world nearest the view's centre.
    QPointF point(const MKMapPoint& mapPoint) const;
    MKMapPoint mapPoint(const QPointF& point) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void sceneChanged();
    double scale() const;
    double nearestCopyOffset(double x) const;
    MKMapRect clampedRect(MKMapRect rect) const;

    const std::shared_ptr<MapScene> m_scene;
    const std::shared_ptr<const WorldAtlas> m_atlas;
    const Appearance m_appearance;
    QPainterPath m_countries;  // in unit-square map points
    MKMapRect m_visible = MKMapRect::world();
    int m_shownRegionSerial = 0;
    QPointer<QVariantAnimation> m_animation;
    std::optional<QPointF> m_dragStart;
    MKMapRect m_dragRect;
};

}  // namespace tarnwick
