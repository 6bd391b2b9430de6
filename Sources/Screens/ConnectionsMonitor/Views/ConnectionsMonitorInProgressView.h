#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tarnwick {

class Application;
class ClearAllButton;
class ConnectionMonitorCellView;
class ConnectionsMonitorViewModel;
class ConnetionsMonitorSearchFilter;
class CustomCheckMarkView;

// The live body of the Connections Monitor: the list of monitored applications with its
// compromised-only switch, filter and clear-all button on the left, the connection map (or the
// prompt to allow it) on the right. Rows are kept per application and reused when the model
// publishes a new list.
class ConnectionsMonitorInProgressView : public QWidget {
    Q_OBJECT

public:
    // Makes the map widget for the panel; none leaves the panel empty.
    using MapFactory = std::function<QWidget*(QWidget* parent)>;

    ConnectionsMonitorInProgressView(std::shared_ptr<ConnectionsMonitorViewModel> viewModel,
                                     MapFactory makeMap, QWidget* parent = nullptr);

    // The parts, for tests.
    std::vector<ConnectionMonitorCellView*> rows() const;
    QLabel* statusText() const { return m_status; }
    ClearAllButton* clearAllButton() const { return m_clearAll; }
    ConnetionsMonitorSearchFilter* searchFilter() const { return m_search; }
    CustomCheckMarkView* compromisedCheckMark() const { return m_checkMark; }
    QLabel* compromisedLabel() const { return m_compromisedLabel; }
    QScrollArea* scrollArea() const { return m_scroll; }
    QWidget* mapPanel() const { return m_mapPanel; }
    QWidget* mapPrompt() const { return m_prompt; }
    QWidget* mapView() const { return m_map; }
    // The plain words over the map when it shows the servers without the user's position.
    QLabel* mapNote() const { return m_mapNote; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildRows();
    void refreshStatus();
    void refreshClearAll();
    void refreshMapPanel();
    void recheckLocation();
    void scrollToRow(const std::shared_ptr<Application>& application);

    const std::shared_ptr<ConnectionsMonitorViewModel> m_viewModel;
    const MapFactory m_makeMap;
    QLabel* m_status;
    QScrollArea* m_scroll;
    QWidget* m_listContent;
    QVBoxLayout* m_listLayout;
    QWidget* m_clearAllRow;
    ClearAllButton* m_clearAll;
    ConnetionsMonitorSearchFilter* m_search;
    CustomCheckMarkView* m_checkMark;
    QLabel* m_compromisedLabel;
    QWidget* m_mapPanel;
    QWidget* m_prompt;
    QLabel* m_mapNote;
    QPointer<QWidget> m_map;
    std::map<const Application*, ConnectionMonitorCellView*> m_rows;
};

}  // namespace tarnwick
