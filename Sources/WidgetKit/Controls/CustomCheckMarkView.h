#pragma once

#include <QWidget>

#include <functional>

namespace tarnwick {

// The check box of the rule lists: a 16-point rounded box, a framed square when unchecked and a
// white check on the scan colour when checked. The check state belongs to the owner: a tap asks
// `onToggle` with the new value; a disabled box is dimmed and ignores taps.
class CustomCheckMarkView : public QWidget {
    Q_OBJECT

public:
    CustomCheckMarkView(bool isChecked, bool disabled, QWidget* parent = nullptr);

    std::function<void(bool)> onToggle;

    bool isChecked() const { return m_isChecked; }
    void setChecked(bool checked);
    bool isDisabled() const { return m_disabled; }
    // The colour the box is drawn in for the current state.
    QColor boxColor() const;

    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Space toggles it where the owner lets the keyboard reach it (a focus policy).
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_isChecked;
    const bool m_disabled;
};

}  // namespace tarnwick
