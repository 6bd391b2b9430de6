#pragma once

#include <QListView>

namespace tarnwick {

// A list view that keeps empty space under its rows, so the last row can scroll clear of the
// fading band laid over the list's bottom edge.
class SpacedListView : public QListView {
public:
    SpacedListView(int bottomSpace, QWidget* parent) : QListView(parent) {
        setViewportMargins(0, 0, 0, bottomSpace);
    }
};

}  // namespace tarnwick
