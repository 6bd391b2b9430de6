#pragma once

#include "Dispatch/Scheduler.h"
#include "Foundation/NotificationCenter.h"
#include "WidgetKit/ScanButtonConfig.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarnwick {

class Container;

// The start and stop control of both monitors. It shows the icon and title of the monitor's
// state, asks `action` for the state it wants (it never sets the state itself: the owner does,
// through setState), and refuses taps, mouse or Return key, for a short cool-down after each.
// Beside it, while asked to, a pill tells that no target country is chosen and jumps to the
// settings tab where they are chosen.
class ScanButtonView : public QWidget {
    Q_OBJECT

public:
    static constexpr Scheduler::Duration buttonCooldownTime = std::chrono::milliseconds(300);

    ScanButtonView(ScanButtonConfig config, std::function<void(ScanState)> action,
                   QWidget* parent = nullptr,
                   NotificationCenter& notificationCenter = NotificationCenter::defaultCenter(),
                   Scheduler& scheduler = Scheduler::system());

    // The owner's bindings.
    void setState(ScanState state);
    void setButtonEnabled(bool enabled);
    void setNoTargetCountryButtonHidden(bool hidden);

    // The button's tap handler, also run by the Return key.
    void tap();
    bool didReset() const { return m_didReset; }

    // The parts, for the owner's tests; null while hidden.
    QAbstractButton* button() const;
    QWidget* noTargetCountryButton() const;

private:
    void rebuild();

    const ScanButtonConfig m_config;
    const std::function<void(ScanState)> m_action;
    NotificationCenter& m_notificationCenter;
    Scheduler& m_scheduler;
    ScanState m_state = ScanState::standBy;
    bool m_isEnabled = true;
    bool m_isNoTargetCountryButtonHidden = true;
    bool m_didReset = true;
    QPointer<Container> m_body;
    QPointer<QAbstractButton> m_button;
    QPointer<QWidget> m_pill;
};

}  // namespace tarnwick
