#pragma once

#include <QWidget>

namespace tarnwick {

class KVBClickableView;

class KVBClickableViewDelegate {
public:
    virtual ~KVBClickableViewDelegate() = default;
    virtual void clickableViewDidReceiveClick(KVBClickableView* view) = 0;
};

// A view that acts as a button: pressed, it dims to half opacity while the pointer stays inside,
// and a release inside is a click. Disabled, it ignores presses and shows no feedback.
class KVBClickableView : public QWidget {
    Q_OBJECT

public:
    explicit KVBClickableView(QWidget* parent = nullptr);

    KVBClickableViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(KVBClickableViewDelegate* delegate) { m_delegate = delegate; }
    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);
    // The press feedback: 0.5 while pressed inside, else 1.0.
    qreal alpha() const { return m_alpha; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setAlpha(qreal alpha);

    KVBClickableViewDelegate* m_delegate = nullptr;
    bool m_isEnabled = true;
    bool m_isPressed = false;
    qreal m_alpha = 1.0;
};

}  // namespace tarnwick
