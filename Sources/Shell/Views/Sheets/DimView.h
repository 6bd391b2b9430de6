#pragma once

#include <QWidget>

#include <functional>

namespace tarnwick {

// The dimming over the main window behind a sheet. A click counts only when the button is
// released inside it.
class DimView : public QWidget {
    Q_OBJECT

public:
    explicit DimView(QWidget* parent = nullptr);
    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

// The card behind a sheet's content: rounded, in the sheet colour, with a soft shadow. Clicks on
// it stop here and never reach the dimming beneath.
class SheetContentBackgroundView : public QWidget {
    Q_OBJECT

public:
    explicit SheetContentBackgroundView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tarnwick
