#pragma once

#include "Screens/ConnectionsMonitor/Application.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionSafetyIndicator.h"

#include <QWidget>

#include <map>
#include <memory>

class QLabel;
class QVBoxLayout;

namespace tarnwick {

class ConnectionMonitorHitCellView;
class ConnectionsMonitorViewModel;

// One application of the connection list: icon, name and badge, and, while it is the model's
// expanded application, the rows of the servers it reached. The expansion belongs to the model
// (one application at a time); a click asks the model one turn of the main queue later. Hit rows
// are kept per hit, so a new list reuses the rows it still holds.
class ConnectionMonitorCellView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 74;

    ConnectionMonitorCellView(std::shared_ptr<Application> app,
                              std::shared_ptr<ConnectionsMonitorViewModel> viewModel, bool isLast,
                              QWidget* parent = nullptr);

    const std::shared_ptr<Application>& app() const { return m_app; }
    bool isExpanded() const { return m_isExpanded; }
    bool isLast() const { return m_isLast; }
    void setIsLast(bool isLast);
    bool showsChevron() const;
    ConnectionSafetyIndicatorType badgeType() const { return m_badge->type(); }
    // The hit rows in list order, and the opacity each is drawn at.
    std::vector<ConnectionMonitorHitCellView*> hitRows() const;
    double opacityOf(const ConnectionMonitorHitCellView* row) const;
    // The header line's click.
    void click();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setExpanded(bool expanded);
    void refreshHeader();
    void rebuildHits();

    const std::shared_ptr<Application> m_app;
    const std::shared_ptr<ConnectionsMonitorViewModel> m_viewModel;
    bool m_isLast;
    bool m_isExpanded = false;
    QWidget* m_header;
    QLabel* m_icon;
    QLabel* m_name;
    ConnectionSafetyIndicator* m_badge;
    QLabel* m_chevron;
    QWidget* m_hits;
    QVBoxLayout* m_hitsLayout;
    std::map<const Hit*, ConnectionMonitorHitCellView*> m_hitRows;
};

}  // namespace tarnwick
