#pragma once

#include <QColor>
#include <QWidget>

namespace tarnwick {

// A plain view with a rounded border; its user sets the radius and width.
class KVBBorderedView : public QWidget {
    Q_OBJECT

public:
    explicit KVBBorderedView(QWidget* parent = nullptr) : QWidget(parent) {}

    const QColor& borderColor() const { return m_borderColor; }
    // Does not ask for a redraw by itself.
    void setBorderColor(QColor color) { m_borderColor = std::move(color); }
    void setCornerRadius(qreal radius) { m_cornerRadius = radius; }
    void setBorderWidth(qreal width) { m_borderWidth = width; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_borderColor;
    qreal m_cornerRadius = 0;
    qreal m_borderWidth = 0;
};

}  // namespace tarnwick
