#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

namespace tarnwick {

// The prompt shown while the application runs outside the Applications folder: the mascot, why
// the monitor needs the move, and "Let's do it!", which moves it there at once (Return presses it
// too).
class ConnectionMonitorInstallView : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionMonitorInstallView(std::function<void()> moveToApplications,
                                          QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    bool isButtonHovered() const { return m_isButtonHovered; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* m_button;
    bool m_isButtonHovered = false;
};

}  // namespace tarnwick
