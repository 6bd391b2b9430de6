#pragma once

#include <QWidget>

#include <memory>

class QLabel;

namespace tarnwick {

class ConnectionsMonitorViewModel;

// The placeholder before monitoring is first started: the mascot's current frame above a line
// that says where the connections will appear.
class ConnectionsMonitorStandByView : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionsMonitorStandByView(std::shared_ptr<ConnectionsMonitorViewModel> viewModel,
                                           QWidget* parent = nullptr);

    const QString& frameName() const { return m_frameName; }

private:
    const std::shared_ptr<ConnectionsMonitorViewModel> m_viewModel;
    QLabel* m_image;
    QString m_frameName;
};

}  // namespace tarnwick
