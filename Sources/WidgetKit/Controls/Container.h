#pragma once

#include <QWidget>

#include <optional>
#include <vector>

namespace tarnwick {

// Places its content at an edge, a corner or the centre of the space it gets, with stacks and
// flexible spacers around it. With no alignment the children stand side by side and the container
// takes only the room they need; leading and trailing leave the content as it is.
class Container : public QWidget {
    Q_OBJECT

public:
    enum class Alignment {
        top,
        topLeading,
        topTrailing,
        center,
        bottomLeading,
        bottomTrailing,
        bottom,
        leading,
        trailing,
    };

    Container(std::vector<QWidget*> content, std::optional<Alignment> alignment,
              QWidget* parent = nullptr);
};

}  // namespace tarnwick
