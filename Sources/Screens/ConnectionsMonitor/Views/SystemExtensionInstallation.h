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
    // Runs when the user dismisses the explanation (Cancel or Escape), at most once.
    std::function<void()> onCancel;
    // Shows the Cancel button and lets Escape dismiss the explanation.
    void setCancellable(bool cancellable);

    QLabel* nameLabel() const { return m_nameLabel; }
    QPushButton* continueButton() const { return m_continueButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // The third step, naming the application as its bundle calls itself.
    static std::string nameText(const Bundle& mainBundle);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void continueButtonClicked();

    QLabel* m_nameLabel;
    QPushButton* m_continueButton;
    QPushButton* m_cancelButton;
    bool m_cancelled = false;
};

}  // namespace tarnwick
