#pragma once

#include <QTimer>
#include <QWidget>

namespace tarnwick {

// A turning spinner drawn in the window's text colour, so it follows a light or dark appearance.
class KVBTransparentSpinner : public QWidget {
    Q_OBJECT

public:
    explicit KVBTransparentSpinner(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_timer.isActive(); }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};

}  // namespace tarnwick
