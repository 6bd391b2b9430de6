#pragma once

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <functional>

namespace tarnwick {

// An icon that acts as a button: it dims while pressed with the pointer inside and calls
// `onClick` when released inside. The icon scales to fit the view and takes `iconColor` as a
// template tint when one is set.
class ClickableIconView : public QWidget {
    Q_OBJECT

public:
    explicit ClickableIconView(QWidget* parent = nullptr);

    std::function<void()> onClick;

    // The image asset shown, by name.
    void setIcon(std::string_view imageName);
    void setIconColor(const QColor& color);
    bool isPressed() const { return m_isPressed; }
    QLabel* iconView() const { return m_iconView; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setPressed(bool pressed);
    void refreshIcon();

    std::string m_icon;
    QColor m_iconColor;
    bool m_isPressed = false;
    QLabel* m_iconView;
};

}  // namespace tarnwick
