#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLineEdit;

namespace tarnwick {

// The connection list's filter: a small magnifier at rest that grows into a 96-point field under
// the pointer or while it holds text, and folds back half a second after the pointer leaves an
// empty field. The pending fold is one timer: each new schedule restarts it, and entering the
// field or typing cancels it. The text is the owner's: `onTextChanged` hears each edit.
class ConnetionsMonitorSearchFilter : public QWidget {
    Q_OBJECT

public:
    static constexpr int kCollapseDelayMilliseconds = 500;
    static constexpr int kExpandedWidth = 96;
    static constexpr int kCollapsedWidth = 30;

    explicit ConnetionsMonitorSearchFilter(QWidget* parent = nullptr);

    std::function<void(const QString&)> onTextChanged;

    QString text() const;
    // The model's value; never calls onTextChanged.
    void setText(const QString& text);
    bool isHovered() const { return m_isHovered; }
    bool isCollapsePending() const { return m_collapseTimer.isActive(); }
    QLineEdit* field() const { return m_field; }

    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setHovered(bool hovered);
    void scheduleCollapse();
    void textDidChange(const QString& text);

    QLineEdit* m_field;
    bool m_isHovered = false;
    QTimer m_collapseTimer;
};

}  // namespace tarnwick
