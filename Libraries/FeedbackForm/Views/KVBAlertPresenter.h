#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace tarnwick {

// Every alert of the feedback window goes through here, so tests can answer them.
class KVBAlertPresenter {
public:
    struct Alert {
        QString title;
        QString text;
        QImage icon;
    };

    virtual ~KVBAlertPresenter() = default;
    // Attached to the window; returns at once.
    virtual void presentSheet(const Alert& alert, QWidget* window) = 0;
    // Blocks the application until the user answers.
    virtual void runApplicationModal(const Alert& alert) = 0;
};

// Message boxes with one "OK" button.
class KVBMessageBoxAlertPresenter final : public KVBAlertPresenter {
public:
    void presentSheet(const Alert& alert, QWidget* window) override;
    void runApplicationModal(const Alert& alert) override;
};

}  // namespace tarnwick
