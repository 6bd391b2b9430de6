#pragma once

#include <QLabel>

namespace tarnwick {

// A label that can grow or shrink its text about its centre without changing its own size, so
// a hovered row's neighbours stay where they are.
class ScaledTextLabel : public QLabel {
    Q_OBJECT

public:
    explicit ScaledTextLabel(const QString& text, QWidget* parent = nullptr);

    double scale() const { return m_scale; }
    void setScale(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_scale = 1.0;
};

}  // namespace tarnwick
