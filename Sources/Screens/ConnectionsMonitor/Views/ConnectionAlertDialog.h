#pragma once

#include "Screens/Presenters/ConnectionAlert.h"
#include "Screens/Presenters/InterfacePresenters.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>

class QWidget;

namespace tarnwick {

// The connection alert as a window: a warning icon, the message, the informative text and one
// button per answer, stacked in the order of the answers. It never runs an event loop of its own:
// it is shown, and the press of a button answers once and closes it. Closed any other way, it
// answers `ConnectionAlert::kNoAnswer`.
class ConnectionAlertDialog final : public QDialog {
    Q_OBJECT

public:
    ConnectionAlertDialog(const ConnectionAlert& alert, std::function<void(int)> answer,
                          QWidget* parent = nullptr);

    // Closes without answering.
    void dismiss();

protected:
    void done(int result) override;

private:
    void answerOnce(int answer);

    std::function<void(int)> m_answer;
};

// Presents connection alerts as ConnectionAlertDialog windows, one at a time.
class QtConnectionAlertPresenter final : public ConnectionAlertPresenter {
public:
    explicit QtConnectionAlertPresenter(QWidget* parent = nullptr) : m_parent(parent) {}
    ~QtConnectionAlertPresenter() override;

    void present(const ConnectionAlert& alert, Answer answer) override;
    void dismiss() override;

    // The alert on screen, if any.
    // Used for testing only
    ConnectionAlertDialog* currentDialog() const { return m_dialog.data(); }

private:
    QPointer<QWidget> m_parent;
    QPointer<ConnectionAlertDialog> m_dialog;
};

// Shows the error of a failed request in a warning window that does not block.
class QtErrorAlertPresenter final : public ErrorAlertPresenter {
public:
    explicit QtErrorAlertPresenter(QWidget* parent = nullptr) : m_parent(parent) {}
    void presentError(const std::string& message) override;

    // Used for testing only
    QDialog* currentDialog() const { return m_dialog.data(); }

private:
    QPointer<QWidget> m_parent;
    QPointer<QDialog> m_dialog;
};

}  // namespace tarnwick
