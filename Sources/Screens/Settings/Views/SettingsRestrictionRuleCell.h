#pragma once

#include "Tools/RestrictionPreference.h"

#include <QWidget>

#include <functional>

namespace tarnwick {

class CustomCheckMarkView;
class HoverProgress;
class ScaledTextLabel;

// One detection rule of the restrictions tab: a check box and the rule's sentence. A click
// anywhere on the row toggles it and hands the new state to `onToggle`; the required rules are
// disabled, stay ticked and never grow under the pointer.
class SettingsRestrictionRuleCell : public QWidget {
    Q_OBJECT

public:
    SettingsRestrictionRuleCell(const RestrictionPreference& rule, bool isChecked,
                                QWidget* parent = nullptr);

    std::function<void(bool)> onToggle;

    const RestrictionPreference& rule() const { return m_rule; }
    QString label() const;
    bool isChecked() const;
    void setChecked(bool checked);
    bool isDisabled() const { return m_isDisabled; }
    bool isHovered() const { return m_isHovered; }
    double labelScale() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void toggle();
    void setHovered(bool hovered);

    const RestrictionPreference m_rule;
    const bool m_isDisabled;
    bool m_isHovered = false;
    CustomCheckMarkView* m_checkMark;
    ScaledTextLabel* m_label;
    HoverProgress* m_hover;
};

}  // namespace tarnwick
