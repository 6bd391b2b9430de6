#pragma once

#include "Dispatch/Scheduler.h"
#include "Foundation/NotificationCenter.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace tarnwick {

class ConnectionsMonitorHeader;
class ConnectionsMonitorViewModel;
class NoNetworkPopUp;

// The Connections Monitor screen: the header over one of three bodies chosen by the model (the
// install prompt, the stand-by placeholder, the live list), and the no-network banner along the
// bottom while the model is offline. Showing the screen copies the target-country flag into the
// model and, before the monitor was set up, refreshes the filter's status.
class ConnectionMonitorView : public QWidget {
    Q_OBJECT

public:
    enum class Body { install, standBy, inProgress };
    static Body bodyFor(bool isInstalled, bool didInitiate);

    struct Services {
        NotificationCenter* notificationCenter = nullptr;  // the window's
        Scheduler* scheduler = nullptr;                    // Scheduler::system()
        // Moves the application into the Applications folder without asking.
        std::function<void()> moveToApplications;
        // Makes the map for the live list's map panel.
        ConnectionsMonitorInProgressView::MapFactory makeMap;
    };

    ConnectionMonitorView(std::shared_ptr<ConnectionsMonitorViewModel> viewModel, Services services,
                          QWidget* parent = nullptr);

    Body body() const { return m_body; }
    QWidget* bodyView() const { return m_bodyView; }
    ConnectionsMonitorHeader* header() const { return m_header; }
    NoNetworkPopUp* noNetworkPopUp() const { return m_popUp; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void chooseBody();
    void placePopUp();

    const std::shared_ptr<ConnectionsMonitorViewModel> m_viewModel;
    Services m_services;
    ConnectionsMonitorHeader* m_header;
    QPointer<QWidget> m_bodyView;
    Body m_body = Body::standBy;
    bool m_hasBody = false;
    NoNetworkPopUp* m_popUp;
};

}  // namespace tarnwick
