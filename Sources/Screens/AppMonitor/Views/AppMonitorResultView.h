#pragma once

#include "Tools/ScanState.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tarnwick {

class AppMonitorCellView;
class AppMonitorViewModel;
class NoNetworkLabel;
class PUApplication;
class UninstallPopUpView;

// The body after a scan that found applications: a title row with the no-network warning, and the
// scrolling list of found applications, faded at its edges. A row's delete button lays the
// uninstall pop-up over the blurred, disabled list; a confirmed removal goes to the model, and a
// refused or failed one is told under the title while the row stays. When the last row is gone
// the screen returns to stand-by.
class AppMonitorResultView : public QWidget {
    Q_OBJECT

public:
    using ShowInFileManager = std::function<void(const std::shared_ptr<PUApplication>&)>;

    AppMonitorResultView(AppMonitorViewModel& viewModel, ShowInFileManager showInFileManager,
                         QWidget* parent = nullptr);

    bool isUninstallPopUpPresented() const { return m_isUninstallPopUpPresented; }
    UninstallPopUpView* uninstallPopUp() const;
    std::vector<AppMonitorCellView*> cells() const;
    NoNetworkLabel* noNetworkLabel() const { return m_noNetworkLabel; }
    QLabel* removalFailure() const { return m_removalFailure; }
    QScrollArea* scrollArea() const { return m_scrollArea; }

private:
    void showRows(const std::vector<std::shared_ptr<PUApplication>>& applications);
    void requestRemoval(const std::shared_ptr<PUApplication>& application);
    void setPopUpPresented(bool presented);
    void confirm(const std::shared_ptr<PUApplication>& application, bool uninstall);
    void cleanUp();

    AppMonitorViewModel& m_viewModel;
    ShowInFileManager m_showInFileManager;
    bool m_isUninstallPopUpPresented = false;
    QPointer<UninstallPopUpView> m_uninstallPopUp;
    NoNetworkLabel* m_noNetworkLabel;
    QLabel* m_removalFailure;
    QWidget* m_listArea;
    QScrollArea* m_scrollArea;
    QWidget* m_rows;
    QVBoxLayout* m_rowColumn;
};

}  // namespace tarnwick
