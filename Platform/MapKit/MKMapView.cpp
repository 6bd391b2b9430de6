#include "MapKit/MKMapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace tarnwick {

namespace {

constexpr double kMinimumWidth = 1e-5;
constexpr int kRegionAnimationMilliseconds = 450;

MKMapRect interpolated(const MKMapRect& from, const MKMapRect& to, double t) {
    return {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t,
            from.width + (to.width - from.width) * t, from.height + (to.height - from.height) * t};
}

}  // namespace

MapLineOverlayRenderer::MapLineOverlayRenderer(std::shared_ptr<LineOverlay> overlay)
    : m_overlay(std::move(overlay))
    , m_strokeColor(m_overlay->style.strokeColor)
    , m_lineWidth(m_overlay->style.lineWidth)
    , m_alpha(m_overlay->style.alpha) {}

QPainterPath MapLineOverlayRenderer::createPath(
    const std::function<QPointF(MKMapPoint)>& toPoint,
    const std::function<MKMapPoint(QPointF)>& toMapPoint) const {
    const auto path = tarnwick::createPath(
        *m_overlay,
        [&](MKMapPoint mapPoint) {
            const QPointF p = toPoint(mapPoint);
            return OverlayPath::Point{p.x(), p.y()};
        },
        [&](OverlayPath::Point p) { return toMapPoint(QPointF(p.x, p.y)); });
    QPainterPath drawn;
    if (!path) {
        return drawn;
    }
    drawn.moveTo(path->start.x, path->start.y);
    if (path->control) {
        drawn.quadTo(QPointF(path->control->x, path->control->y),
                     QPointF(path->end.x, path->end.y));
    } else {
        drawn.lineTo(path->end.x, path->end.y);
    }
    return drawn;
}

MKMapView::MKMapView(std::shared_ptr<MapScene> scene, std::shared_ptr<const WorldAtlas> atlas,
                     Appearance appearance, QWidget* parent)
    : QWidget(parent)
    , m_scene(std::move(scene))
    , m_atlas(std::move(atlas))
    , m_appearance(std::move(appearance)) {
    setObjectName(QStringLiteral("MKMapView"));
    setMouseTracking(false);
    if (m_atlas) {
        // One path for all countries, built once in map points and scaled when drawn.
        m_countries.setFillRule(Qt::OddEvenFill);
        for (const auto& country : m_atlas->countries()) {
            for (const auto& ring : country.rings) {
                m_countries.moveTo(ring.front().x, ring.front().y);
                for (std::size_t i = 1; i < ring.size(); ++i) {
                    m_countries.lineTo(ring[i].x, ring[i].y);
                }
                m_countries.closeSubpath();
            }
        }
    }
    m_scene->onChange = [this] { sceneChanged(); };
    // A scene that already asked for a region shows it at once.
    if (const auto& region = m_scene->region()) {
        m_shownRegionSerial = region->serial;
        m_visible = clampedRect(mapgeometry::mapRect(region->region));
    }
}

MKMapView::~MKMapView() {
    m_scene->onChange = nullptr;
}

double MKMapView::scale() const {
    if (width() <= 0 || height() <= 0) {
        return 1;
    }
    return std::min(width() / m_visible.width,
                    height() / std::max(m_visible.height, kMinimumWidth));
}

QPointF MKMapView::point(const MKMapPoint& mapPoint) const {
    const double s = scale();
    const double centerX = m_visible.x + m_visible.width / 2;
    const double centerY = m_visible.y + m_visible.height / 2;
    const double x = mapPoint.x + nearestCopyOffset(mapPoint.x);
    return {width() / 2.0 + (x - centerX) * s, height() / 2.0 + (mapPoint.y - centerY) * s};
}

MKMapPoint MKMapView::mapPoint(const QPointF& widgetPoint) const {
    const double s = scale();
    return {m_visible.x + m_visible.width / 2 + (widgetPoint.x() - width() / 2.0) / s,
            m_visible.y + m_visible.height / 2 + (widgetPoint.y() - height() / 2.0) / s};
}

double MKMapView::nearestCopyOffset(double x) const {
    const double centerX = m_visible.x + m_visible.width / 2;
    return std::round(centerX - x);
}

MKMapRect MKMapView::clampedRect(MKMapRect rect) const {
    rect.width = std::clamp(rect.width, kMinimumWidth, 1.0);
    rect.height = std::clamp(rect.height, kMinimumWidth, 1.0);
    // East-west the world repeats; north-south it ends.
    const double centerX = rect.x + rect.width / 2;
    const double wrapped = centerX - std::floor(centerX);
    rect.x = wrapped - rect.width / 2;
    rect.y = std::clamp(rect.y, 0.0, 1.0 - rect.height);
    return rect;
}

void MKMapView::setVisibleMapRect(const MKMapRect& rect, bool animated) {
    const MKMapRect target = clampedRect(rect);
    if (m_animation) {
        m_animation->stop();
        delete m_animation;
    }
    if (!animated || !isVisible()) {
        m_visible = target;
        update();
        return;
    }
    MKMapRect start = m_visible;
    // Travel the short way round: move the start beside the target.
    const double startCenter = start.x + start.width / 2;
    const double targetCenter = target.x + target.width / 2;
    start.x += std::round(targetCenter - startCenter);
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(kRegionAnimationMilliseconds);
    animation->setEasingCurve(QEasingCurve::InOutCubic);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this, start, target](const QVariant& value) {
                m_visible = interpolated(start, target, value.toDouble());
                update();
            });
    connect(animation, &QVariantAnimation::finished, this, [this, target] {
        m_visible = target;
        update();
    });
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MKMapView::sceneChanged() {
    if (const auto& region = m_scene->region(); region && region->serial != m_shownRegionSerial) {
        m_shownRegionSerial = region->serial;
        setVisibleMapRect(mapgeometry::mapRect(region->region), region->animated);
    }
    update();
}

void MKMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), m_appearance.water);

    // The countries, once per copy of the world in sight.
    const double s = scale();
    const MKMapPoint topLeft = mapPoint(QPointF(0, 0));
    const MKMapPoint bottomRight = mapPoint(QPointF(width(), height()));
    QPen border(m_appearance.border, 0.6);
    border.setCosmetic(true);
    for (int copy = int(std::floor(topLeft.x)); copy <= int(std::floor(bottomRight.x)); ++copy) {
        QTransform transform;
        transform.translate(width() / 2.0, height() / 2.0);
        transform.scale(s, s);
        transform.translate(-(m_visible.x + m_visible.width / 2) + copy,
                            -(m_visible.y + m_visible.height / 2));
        painter.setTransform(transform);
        painter.setPen(border);
        painter.setBrush(m_appearance.land);
        painter.drawPath(m_countries);
    }
    painter.resetTransform();

    const auto color = [&](std::string_view name) {
        return m_appearance.color ? m_appearance.color(name) : QColor(Qt::black);
    };
    const auto image = [&](std::string_view name, int side) {
        return m_appearance.image ? m_appearance.image(name, QSize(side, side)) : QPixmap();
    };
    const auto user = m_scene->userLocation();
    const auto anchor = [&](const MKMapPoint& at) {
        // Everything is drawn in the copy of the world nearest the user, so a line across the
        // meridian stays beside its circle.
        if (!user) {
            return point(at);
        }
        const MKMapPoint u = mapgeometry::mapPoint(*user);
        const double x = at.x + std::round(u.x - at.x);
        return point(u) + QPointF((x - u.x) * s, (at.y - u.y) * s);
    };

    // Lines under the labels, arcs above them; the paths of one style are stroked together, so
    // thousands of servers cost a few strokes.
    for (const auto level : {MKOverlayLevel::aboveRoads, MKOverlayLevel::aboveLabels}) {
        std::map<std::tuple<std::string, double, double>, QPainterPath> strokes;
        for (const auto& overlay : m_scene->overlays()) {
            if (overlay.level != level) {
                continue;
            }
            const MapLineOverlayRenderer renderer(overlay.overlay);
            strokes[{renderer.strokeColor(), renderer.lineWidth(), renderer.alpha()}].addPath(
                renderer.createPath([&](MKMapPoint p) { return anchor(p); },
                                    [&](QPointF p) { return mapPoint(p); }));
        }
        for (const auto& [style, path] : strokes) {
            const auto& [name, lineWidth, alpha] = style;
            QColor stroke = color(name);
            stroke.setAlphaF(float(stroke.alphaF() * alpha));
            painter.setPen(QPen(stroke, lineWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        }
    }

    for (const auto& annotation : m_scene->hitAnnotations()) {
        const int side = annotation->imageSide().value_or(10);
        const QPointF centre = anchor(mapgeometry::mapPoint(annotation->coordinate()));
        const QPixmap circle = image(annotation->image(), side);
        if (!circle.isNull()) {
            painter.drawPixmap(QRectF(centre.x() - side / 2.0, centre.y() - side / 2.0, side, side),
                               circle, QRectF(circle.rect()));
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color("mapTintColor"));
            painter.drawEllipse(centre, side / 2.0, side / 2.0);
        }
    }

    if (user && m_scene->showsUserLocation()) {
        const QPointF centre = point(mapgeometry::mapPoint(*user));
        const QPixmap circle = image("mapCircle", 12);
        if (!circle.isNull()) {
            painter.drawPixmap(QRectF(centre.x() - 6, centre.y() - 6, 12, 12), circle,
                               QRectF(circle.rect()));
        }
    }

    painter.setFont(m_appearance.labelFont);
    const QFontMetricsF metrics(m_appearance.labelFont);
    for (const auto& label : m_scene->cityNames()) {
        const QString text = QString::fromStdString(label.cityName);
        const QSizeF size(metrics.horizontalAdvance(text) + 10, metrics.height() + 10);
        const QPointF centre = anchor(mapgeometry::mapPoint(label.coordinate));
        const double dx = label.placement == HitCityNameAnnotation::Placement::east
                              ? size.width() / 2
                              : -size.width() / 2;
        const QRectF box(centre.x() + dx - size.width() / 2, centre.y() - 12 - size.height() / 2,
                         size.width(), size.height());
        painter.setPen(Qt::NoPen);
        painter.setBrush(color("mapCityLabelBackground"));
        painter.drawRoundedRect(box, 5, 5);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

void MKMapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragStart = event->position();
        m_dragRect = m_visible;
        if (m_animation) {
            m_animation->stop();
        }
    }
}

void MKMapView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragStart) {
        return;
    }
    const QPointF delta = event->position() - *m_dragStart;
    const double s = scale();
    MKMapRect moved = m_dragRect;
    moved.x -= delta.x() / s;
    moved.y -= delta.y() / s;
    m_visible = clampedRect(moved);
    update();
}

void MKMapView::mouseReleaseEvent(QMouseEvent*) {
    m_dragStart.reset();
}

void MKMapView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) {
        return;
    }
    const double factor = std::pow(0.8, steps);
    const QPointF at = event->position();
    const MKMapPoint anchorPoint = mapPoint(at);
    MKMapRect zoomed = m_visible;
    zoomed.width = std::clamp(zoomed.width * factor, kMinimumWidth, 1.0);
    zoomed.height = std::clamp(zoomed.height * factor, kMinimumWidth, 1.0);
    // Keep the point under the pointer where it is.
    const double s = std::min(width() / zoomed.width, height() / zoomed.height);
    zoomed.x = anchorPoint.x - (at.x() - width() / 2.0) / s - zoomed.width / 2;
    zoomed.y = anchorPoint.y - (at.y() - height() / 2.0) / s - zoomed.height / 2;
    m_visible = clampedRect(zoomed);
    update();
}

}  // namespace tarnwick
