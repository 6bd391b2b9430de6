#pragma once

#include <QGraphicsEffect>

namespace tarnwick {

// Draws its widget faded and scaled about the widget's centre: how a sheet's panel grows in and
// shrinks out. Input still goes to the widget at its full size; only the drawing changes.
class ScaleFadeEffect : public QGraphicsEffect {
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)
    Q_PROPERTY(double scale READ scale WRITE setScale)

public:
    explicit ScaleFadeEffect(QObject* parent = nullptr);

    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);
    double scale() const { return m_scale; }
    void setScale(double scale);

protected:
    void draw(QPainter* painter) override;

private:
    double m_opacity = 1.0;
    double m_scale = 1.0;
};

}  // namespace tarnwick
