#pragma once

#include "Tools/SettingsTab.h"

#include <QWidget>

#include <functional>

namespace tarnwick {

class HoverProgress;

// One button of the settings screen's tab column. It shows as selected while the model's current
// tab is its tab; a press hands its tab to `action`, which the screen turns into the model's new
// current tab.
class SettingsTabButtonView : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 170;
    static constexpr int height = 38;

    SettingsTabButtonView(SettingsTab tab, std::function<void(SettingsTab)> action,
                          QWidget* parent = nullptr);

    SettingsTab tab() const { return m_tab; }
    QString label() const { return m_label; }
    bool isSelected() const { return m_isSelected; }
    void setSelected(bool selected);
    bool isHovered() const { return m_isHovered; }
    // What the button shows for its state, as painted.
    QFont labelFont() const;
    QColor labelColor() const;
    double labelScale() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const SettingsTab m_tab;
    const QString m_label;
    const std::function<void(SettingsTab)> m_action;
    bool m_isSelected = false;
    bool m_isHovered = false;
    HoverProgress* m_hover;
};

}  // namespace tarnwick
