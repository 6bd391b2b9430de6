#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class QListView;

namespace tarnwick {

class CountryGridModel;
class FilterTextField;
class SettingsCountryCellView;
class SettingsViewModel;

// The target-countries tab: a search field over a grid of every country, where a click makes a
// country a target country or no longer one. The list, the selection and the search text are
// the model's; the grid keeps only its column count, three, or four once the main window is
// wider than 2.25 times the grid's minimum width.
class TargetCoutriesView : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumGridWidth = 550;
    // Room left under the grid: at least the main window's corner radius.
    static constexpr int bottomInset = 30;

    // The grid follows the width of mainWindow, when given, as the user resizes it.
    TargetCoutriesView(std::shared_ptr<SettingsViewModel> viewModel, QWidget* mainWindow,
                       QWidget* parent = nullptr);
    ~TargetCoutriesView() override;

    static int columnCount(const QWidget* mainWindow);
    // Used for testing only
    int columns() const { return m_columns; }
    FilterTextField* searchField() const { return m_searchField; }
    QListView* grid() const { return m_grid; }
    CountryGridModel* gridModel() const { return m_gridModel; }
    // What a click on the cell does.
    void selectCell(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateColumns();
    void layOutGrid();

    const std::shared_ptr<SettingsViewModel> m_viewModel;
    FilterTextField* m_searchField;
    QListView* m_grid;
    CountryGridModel* m_gridModel;
    SettingsCountryCellView* m_cell;
    int m_columns = 0;
    const QPointer<QWidget> m_mainWindow;
};

}  // namespace tarnwick
