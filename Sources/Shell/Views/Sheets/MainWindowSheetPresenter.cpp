#include "Shell/Views/Sheets/MainWindowSheetPresenter.h"

#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"
#include "Shell/Views/Sheets/SheetContent.h"
#include "Shell/Views/Sheets/SheetWindowController.h"

#include <QPointer>

namespace tarnwick {

namespace {

class SystemExtensionInstallationSheet final : public SheetContent {
public:
    explicit SystemExtensionInstallationSheet(const Bundle& mainBundle)
        : m_view(new SystemExtensionInstallation(mainBundle)) {}
    ~SystemExtensionInstallationSheet() override { delete m_view; }

    SheetContentKind kind() const override { return SheetContentKind::systemExtensionInstallation; }
    QWidget* view() override { return m_view; }
    SystemExtensionInstallation* installation() const { return m_view; }

private:
    QPointer<SystemExtensionInstallation> m_view;
};

}  // namespace

MainWindowSheetPresenter::MainWindowSheetPresenter(
    std::function<SheetWindowController*()> controller, const Bundle& mainBundle)
    : m_controller(std::move(controller)), m_mainBundle(mainBundle) {}

bool MainWindowSheetPresenter::presentSystemExtensionExplanation(std::function<void()> onContinue) {
    return presentDismissableSystemExtensionExplanation(std::move(onContinue), {});
}

bool MainWindowSheetPresenter::presentDismissableSystemExtensionExplanation(
    std::function<void()> onContinue, std::function<void()> onCancel) {
    SheetWindowController* controller = m_controller ? m_controller() : nullptr;
    if (controller == nullptr) {
        return false;
    }
    auto sheet = std::make_shared<SystemExtensionInstallationSheet>(m_mainBundle);
    sheet->installation()->onContinue = [controllerAccess = m_controller, onContinue] {
        if (SheetWindowController* current = controllerAccess ? controllerAccess() : nullptr) {
            current->dismiss();
        }
        if (onContinue) {
            onContinue();
        }
    };
    // Without a way out the explanation offers none.
    if (onCancel) {
        sheet->installation()->onCancel = [controllerAccess = m_controller, onCancel] {
            if (SheetWindowController* current = controllerAccess ? controllerAccess() : nullptr) {
                current->dismiss();
            }
            onCancel();
        };
    }
    sheet->installation()->setCancellable(static_cast<bool>(onCancel));
    controller->present(sheet, false);
    return true;
}

}  // namespace tarnwick
