#include "WidgetKit/Controls/Container.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tarnwick {

Container::Container(std::vector<QWidget*> content, std::optional<Alignment> alignment,
                     QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);

    const bool spacerAbove =
        alignment == Alignment::center || alignment == Alignment::bottomLeading ||
        alignment == Alignment::bottomTrailing || alignment == Alignment::bottom;
    const bool spacerBelow = alignment == Alignment::top || alignment == Alignment::topLeading ||
                             alignment == Alignment::topTrailing || alignment == Alignment::center;
    const bool spacerBefore = alignment == Alignment::topTrailing ||
                              alignment == Alignment::center ||
                              alignment == Alignment::bottomTrailing;
    const bool spacerAfter = alignment == Alignment::topLeading || alignment == Alignment::center ||
                             alignment == Alignment::bottomLeading;

    if (spacerBefore) {
        row->addStretch();
    }
    for (QWidget* widget : content) {
        row->addWidget(widget, 0, Qt::AlignVCenter);
    }
    if (spacerAfter) {
        row->addStretch();
    }
    if (alignment == Alignment::leading || alignment == Alignment::trailing) {
        // The content itself, unwrapped.
        column->addLayout(row);
        return;
    }
    if (spacerAbove) {
        column->addStretch();
    }
    column->addLayout(row);
    if (spacerBelow) {
        column->addStretch();
    }
    if (!alignment) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
}

}  // namespace tarnwick
