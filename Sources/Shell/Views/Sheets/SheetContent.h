#pragma once

#include <functional>
#include <string_view>

class QWidget;

namespace tarnwick {

enum class SheetContentKind { iOSPromotion, systemExtensionInstallation };

inline std::string_view caseName(SheetContentKind kind) {
    switch (kind) {
        case SheetContentKind::iOSPromotion:
            return "iOSPromotion";
        case SheetContentKind::systemExtensionInstallation:
            return "systemExtensionInstallation";
    }
    return {};
}

// What a sheet shows. The sheet machinery sets `onDismiss` once the entry animation is over;
// the content calls it to be closed (its close button, the Escape key).
class SheetContent {
public:
    virtual ~SheetContent() = default;
    virtual SheetContentKind kind() const = 0;
    virtual QWidget* view() = 0;

    std::function<void()> onDismiss;
};

}  // namespace tarnwick
