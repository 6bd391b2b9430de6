#pragma once

#include "Tools/DetectionLevel.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QLabel;

namespace tarnwick {

class HoverProgress;
class ScaledTextLabel;
class SettingsViewModel;

// The bar under the rules that names the level of the current selection and, from a small menu
// over it, replaces the selection by a preset. The level is never kept: it is read from the
// model's selection each time the selection changes.
class DetectionLevelView : public QWidget {
    Q_OBJECT

public:
    // The rounded bar, a little see-through while the menu is open.
    class DetectionLevelContainer : public QWidget {
    public:
        DetectionLevelContainer(QWidget* content, QWidget* parent);

        bool isExpanded() const { return m_isExpanded; }
        void setExpanded(bool expanded);
        double backgroundOpacity() const { return m_isExpanded ? 0.8 : 1.0; }

        static constexpr int containerHeight = 50;
        static constexpr int containerCornerRadius = 10;
        static constexpr int containerPaddingTrailing = 20;

    protected:
        void paintEvent(QPaintEvent* event) override;

    private:
        bool m_isExpanded = false;
    };

    explicit DetectionLevelView(std::shared_ptr<SettingsViewModel> viewModel,
                                QWidget* parent = nullptr);
    ~DetectionLevelView() override;

    DetectionLevel detectionLevel() const;
    // Replaces the model's selection by the level's preset.
    void setDetectionLevel(DetectionLevel level);
    // Used for testing only
    QString pillText() const;
    ScaledTextLabel* pill() const { return m_pill; }
    bool isExpanded() const { return m_container->isExpanded(); }
    void setExpanded(bool expanded);
    // The open menu, or none.
    QWidget* menu() const { return m_menu; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    QWidget* makeMenu();

    const std::shared_ptr<SettingsViewModel> m_viewModel;
    const std::vector<DetectionLevel> m_selectableDetectionLevels{
        DetectionLevel::minimum, DetectionLevel::maximum, DetectionLevel::recommended};
    DetectionLevelContainer* m_container;
    ScaledTextLabel* m_pill;
    HoverProgress* m_pillHover;
    QPointer<QWidget> m_menu;
};

}  // namespace tarnwick
