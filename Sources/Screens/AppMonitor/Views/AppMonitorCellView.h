#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class QAbstractButton;
class QGraphicsOpacityEffect;
class QLabel;

namespace tarnwick {

class PUApplication;

// One found application in the result list: icon and name, one line per reason, and, while the
// pointer is over the row, the buttons that show it in the file manager and remove it. The
// buttons keep their place when hidden, so rows never jump.
class AppMonitorCellView : public QWidget {
    Q_OBJECT

public:
    using Callback = std::function<void(const std::shared_ptr<PUApplication>&)>;

    static constexpr int minimumHeight = 74;
    static constexpr int iconSize = 36;

    AppMonitorCellView(std::shared_ptr<PUApplication> model, Callback removalCallback,
                       Callback showInFileManager, QWidget* parent = nullptr);

    const std::shared_ptr<PUApplication>& model() const { return m_model; }
    bool isHovered() const { return m_isHovered; }
    QAbstractButton* showInFileManagerButton() const { return m_showButton; }
    QAbstractButton* deleteButton() const { return m_deleteButton; }
    QLabel* iconLabel() const { return m_icon; }
    double buttonsOpacity() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);

    std::shared_ptr<PUApplication> m_model;
    bool m_isHovered = false;
    QLabel* m_icon;
    QAbstractButton* m_showButton;
    QAbstractButton* m_deleteButton;
    QGraphicsOpacityEffect* m_buttonsOpacity;
};

}  // namespace tarnwick
