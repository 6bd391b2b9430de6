#pragma once

#include "WidgetKit/NamedColor.h"

#include <QWidget>

#include <optional>

namespace tarnwick {

// A plain view with a background and a border colour from the catalogue, resolved each time it
// paints so that it follows the light or dark appearance.
class DynamicColoredView : public QWidget {
    Q_OBJECT

public:
    explicit DynamicColoredView(QWidget* parent = nullptr);

    std::optional<std::string> backgroundColor;
    std::optional<std::string> borderColor;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tarnwick
