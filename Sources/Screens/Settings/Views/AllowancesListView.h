#pragma once

#include <QWidget>

#include <array>
#include <memory>

class QListView;
class QPushButton;

namespace tarnwick {

class AllowDenyListCellView;
class EntryListModel;
class SettingsViewModel;

// The connections tab: the allow list and the deny list side by side, each with "Remove all",
// and on each row an arrow that moves the entry to the other list and a trash icon that deletes
// it. The rows are the model's, and every edit is the model's operation, which saves at once.
class AllowancesListView : public QWidget {
    Q_OBJECT

public:
    struct Column {
        EntryListModel* model = nullptr;
        QListView* list = nullptr;
        AllowDenyListCellView* cell = nullptr;
        QPushButton* removeAll = nullptr;
    };

    explicit AllowancesListView(std::shared_ptr<SettingsViewModel> viewModel,
                                QWidget* parent = nullptr);
    ~AllowancesListView() override;

    // Used for testing only
    const Column& allowColumn() const { return m_columns[0]; }
    const Column& denyColumn() const { return m_columns[1]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeColumn(Column& column, bool isAllow);
    bool handleListEvent(Column& column, QEvent* event);

    const std::shared_ptr<SettingsViewModel> m_viewModel;
    std::array<Column, 2> m_columns;
    // Keeps the model's rows built while this view shows them.
    std::shared_ptr<void> m_rowsShown;
};

}  // namespace tarnwick
