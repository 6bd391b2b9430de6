#pragma once

#include <QWidget>

namespace tarnwick {

// A banner that says "No internet connection": one centred line on a rounded strip, 32 points
// high, inset 20 points from the edges of what it lies over and 36 more at the sides.
class NoNetworkPopUp : public QWidget {
    Q_OBJECT

public:
    explicit NoNetworkPopUp(QWidget* parent = nullptr);
    QWidget* strip() const { return m_strip; }

private:
    QWidget* m_strip;
};

}  // namespace tarnwick
