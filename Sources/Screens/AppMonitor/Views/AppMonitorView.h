#pragma once

#include "Foundation/NotificationCenter.h"
#include "Screens/AppMonitor/Views/AppMonitorResultView.h"
#include "Screens/AppMonitor/Views/FileManagerReveal.h"
#include "Tools/ScanState.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace tarnwick {

class AppMonitorHeader;
class AppMonitorViewModel;
class PUApplication;

// The App Monitor screen: the header with the scan button over one of three bodies, chosen by the
// model's scan state: stand-by, the scan in progress, or the result list. It holds no scan logic;
// it shows the model's published values and calls its scan operation. Each time it is shown it
// refreshes whether target countries exist, which enables the scan button. Without a
// `showInFileManager` of the caller's, rows show their application in the desktop's file manager.
class AppMonitorView : public QWidget {
    Q_OBJECT

public:
    AppMonitorView(std::shared_ptr<AppMonitorViewModel> viewModel,
                   NotificationCenter& notificationCenter,
                   AppMonitorResultView::ShowInFileManager showInFileManager,
                   QWidget* parent = nullptr);
    ~AppMonitorView() override;

    // Shows the application's copy in the file manager; where nothing could, a message over
    // `parent`'s window says so and where it is, as the row's button does by default.
    static void revealInFileManager(const PUApplication& application, QWidget* parent,
                                    const FileManagerReveal& reveal = FileManagerReveal());

    AppMonitorHeader* header() const { return m_header; }
    QWidget* body() const { return m_body; }
    const std::shared_ptr<AppMonitorViewModel>& viewModel() const { return m_viewModel; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showBody(ScanState state);

    std::shared_ptr<AppMonitorViewModel> m_viewModel;
    AppMonitorResultView::ShowInFileManager m_showInFileManager;
    AppMonitorHeader* m_header;
    QPointer<QWidget> m_body;
    std::optional<ScanState> m_bodyState;
};

}  // namespace tarnwick
