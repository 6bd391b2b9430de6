#pragma once

#include <QWidget>

#include <functional>

namespace tarnwick {

// "Clear All" under the connection list: a pill that brightens and grows a little under the
// pointer; a click runs `action`.
class ClearAllButton : public QWidget {
    Q_OBJECT

public:
    explicit ClearAllButton(std::function<void()> action, QWidget* parent = nullptr);

    bool isHovered() const { return m_isHovered; }
    void click();
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const std::function<void()> m_action;
    bool m_isHovered = false;
};

}  // namespace tarnwick
