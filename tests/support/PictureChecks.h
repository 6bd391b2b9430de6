#pragma once

// What a picture of a window must show, checked before the picture is saved for review: a picture
// taken of a hidden, clipped, faded or unpainted control would otherwise pass as a good one.

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegion>
#include <QTextEdit>
#include <QWidget>

#include <set>
#include <string>
#include <vector>

namespace tarnwick::testing {

// The text a control shows, for the controls that show one.
inline QString shownText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
        return field->text().isEmpty() ? field->placeholderText() : field->text();
    }
    if (const auto* text = qobject_cast<const QTextEdit*>(widget)) {
        return text->toPlainText();
    }
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(widget)) {
        return text->toPlainText();
    }
    return {};
}

inline std::string describe(const QWidget* widget) {
    std::string name = widget->metaObject()->className();
    if (!widget->objectName().isEmpty()) {
        name += " \"" + widget->objectName().toStdString() + "\"";
    }
    if (const QString text = shownText(widget); !text.isEmpty()) {
        name += " showing \"" + text.left(40).toStdString() + "\"";
    }
    return name;
}

// The number of colours in `area` of `image`, counted up to `enough`.
inline int colourCount(const QImage& image, const QRect& area, int enough = 3) {
    std::set<QRgb> colours;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            colours.insert(image.pixel(x, y));
            if (static_cast<int>(colours.size()) >= enough) {
                return enough;
            }
        }
    }
    return static_cast<int>(colours.size());
}

// Where `widget` or a child that paints over it can be seen: a scroll area is all viewport.
inline QRegion unobscured(const QWidget* widget, int depth = 2) {
    QRegion seen = widget->visibleRegion();
    if (depth > 0) {
        for (const QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible()) {
                seen += unobscured(child, depth - 1).translated(child->pos());
            }
        }
    }
    return seen;
}

// Why `widget` is not seen whole in `shot`, a picture of `window`: hidden, outside the window,
// cut off by a parent, covered, faded out or not drawn (one flat colour where it stands). Empty
// when it is seen.
inline std::string whyNotShown(const QWidget* window, const QWidget* widget, const QImage& shot) {
    if (widget == nullptr) {
        return "a control is missing";
    }
    const std::string name = describe(widget);
    if (widget != window && !window->isAncestorOf(widget)) {
        return name + " is not in the window";
    }
    if (!widget->isVisible()) {
        return name + " is hidden";
    }
    const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
    if (!window->rect().contains(area)) {
        return name + " is not inside the window";
    }
    for (const QWidget* ancestor = widget; ancestor != nullptr && ancestor != window;
         ancestor = ancestor->parentWidget()) {
        const QWidget* parent = ancestor->parentWidget();
        if (parent != nullptr && parent != window &&
            !QRect(parent->mapTo(window, QPoint(0, 0)), parent->size()).contains(area)) {
            return name + " is cut off by " + describe(parent);
        }
        const auto* fade = qobject_cast<const QGraphicsOpacityEffect*>(ancestor->graphicsEffect());
        // Some views are muted on purpose; one caught in a fade-in is mostly see-through.
        if (fade != nullptr && fade->isEnabled() && fade->opacity() < 0.5) {
            return name + " is faded out by " + describe(ancestor);
        }
    }
    if (unobscured(widget).isEmpty()) {
        return name + " is covered";
    }
    const qreal scale = shot.devicePixelRatio();
    const QRect pixels((QPointF(area.topLeft()) * scale).toPoint(),
                       (QSizeF(area.size()) * scale).toSize());
    if (colourCount(shot, pixels) < 2) {
        return name + " is one flat colour in the picture";
    }
    return {};
}

// What keeps a picture of `window` from showing each of `widgets` and a control with each of
// `texts` whole and drawn, a line per fault; empty when the picture shows them all.
inline std::string pictureFaults(QWidget* window, const std::vector<const QWidget*>& widgets,
                                 const QStringList& texts = {}) {
    const QImage shot = window->grab().toImage();
    std::string faults;
    for (const QWidget* widget : widgets) {
        if (const std::string fault = whyNotShown(window, widget, shot); !fault.empty()) {
            faults += fault + "\n";
        }
    }
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (const QString& text : texts) {
        std::string fault = "no control shows \"" + text.toStdString() + "\"";
        for (const QWidget* widget : all) {
            if (shownText(widget).contains(text)) {
                const std::string why = whyNotShown(window, widget, shot);
                if (why.empty()) {
                    fault.clear();
                    break;
                }
                fault = "\"" + text.toStdString() + "\": " + why;
            }
        }
        if (!fault.empty()) {
            faults += fault + "\n";
        }
    }
    return faults;
}

// Whether nothing moves: no animation runs in any window.
inline bool animationsAtRest() {
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        for (const QAbstractAnimation* animation : top->findChildren<QAbstractAnimation*>()) {
            if (animation->state() == QAbstractAnimation::Running) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace tarnwick::testing
