#pragma once

#include <QWidget>

#include <string>

class QLabel;

namespace tarnwick {

class AppMonitorViewModel;

// The tree the stand-by and in-progress bodies share: the mascot frame the model names, 116
// points wide, over the model's progress text, centred between two spacers.
class MascotStageView : public QWidget {
    Q_OBJECT

public:
    static constexpr int mascotWidth = 116;

    MascotStageView(AppMonitorViewModel& viewModel, QWidget* parent = nullptr);

    const std::string& frame() const { return m_frame; }
    QLabel* mascot() const { return m_mascot; }
    QLabel* progressText() const { return m_progressText; }

private:
    void showFrame(const std::string& frame);

    std::string m_frame;
    QLabel* m_mascot;
    QLabel* m_progressText;
};

}  // namespace tarnwick
