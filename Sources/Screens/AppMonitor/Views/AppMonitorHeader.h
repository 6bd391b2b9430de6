#pragma once

#include "Foundation/NotificationCenter.h"
#include "Tools/ScanState.h"

#include <QWidget>

#include <functional>

namespace tarnwick {

class ScanButtonView;

// The App Monitor's title, subtitle and scan button. The button writes the state it asks for
// through `setScanStateBinding`'s setter, then runs the scan action; while a scan runs it shows
// nothing, so a scan cannot start twice. Without target countries it is disabled and shows the
// no-target-country pill instead.
class AppMonitorHeader : public QWidget {
    Q_OBJECT

public:
    AppMonitorHeader(std::function<void(ScanState)> writeScanState,
                     std::function<void()> scanButtonAction, NotificationCenter& notificationCenter,
                     QWidget* parent = nullptr);

    void setScanState(ScanState state);
    void setButtonEnabled(bool enabled);
    ScanButtonView* scanButton() const { return m_scanButton; }

private:
    ScanButtonView* m_scanButton;
};

}  // namespace tarnwick
