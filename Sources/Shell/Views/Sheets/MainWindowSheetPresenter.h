#pragma once

#include "Screens/Presenters/InterfacePresenters.h"

#include <functional>

namespace tarnwick {

class Bundle;
class SheetWindowController;

// Shows the screen models' sheets on the main window. The main window may be gone by the time a
// model asks, or a button is pressed: `controller` answers nothing then, and nothing is shown.
class MainWindowSheetPresenter final : public SheetPresenter {
public:
    MainWindowSheetPresenter(std::function<SheetWindowController*()> controller,
                             const Bundle& mainBundle);

    // The continue button ends the sheet first, then runs `onContinue`, once per press.
    bool presentSystemExtensionExplanation(std::function<void()> onContinue) override;
    bool presentDismissableSystemExtensionExplanation(std::function<void()> onContinue,
                                                      std::function<void()> onCancel) override;

private:
    std::function<SheetWindowController*()> m_controller;
    const Bundle& m_mainBundle;
};

}  // namespace tarnwick
