#pragma once

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace tarnwick {

class Bundle;

// The explanation shown before the filter extension is first installed: what the system is about
// to ask and which button to press. The presenter puts it in a sheet and learns of the continue
// button through `onContinue`.
class SystemExtensionInstallation final : public QWidget {
    Q_OBJECT

public:
    explicit SystemExtensionInstallation(const Bundle& mainBundle, QWidget* parent = nullptr);

    // Runs once per press of the continue button; without one a press does nothing.
    std::function<void()> onContinue;

    QLabel* nameLabel() const { return m_nameLabel; }
    QPushButton* continueButton() const { return m_continueButton; }

    // The third step, naming the application as its bundle calls itself.
    static std::string nameText(const Bundle& mainBundle);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void continueButtonClicked();

    QLabel* m_nameLabel;
    QPushButton* m_continueButton;
};

}  // namespace tarnwick
