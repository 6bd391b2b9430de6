#pragma once

#include "Shell/Views/Sheets/SheetContent.h"

#include <QPointer>
#include <QWidget>

namespace tarnwick {

class ClickableIconView;
class QRCodeView;

// The phone-app promotion panel: title, QR code of the store link, explanation, the phone picture
// sticking out of the card, and a close button. The close button and Escape close it once the
// sheet machinery has given it `onDismiss`.
class IOSPromotionViewController : public SheetContent {
public:
    static constexpr const char* storeLink = "https://apps.apple.com/app/tarnwick/id6450000000";

    IOSPromotionViewController();
    ~IOSPromotionViewController() override;

    SheetContentKind kind() const override { return SheetContentKind::iOSPromotion; }
    QWidget* view() override { return m_view; }

    QRCodeView* qrCodeView() const { return m_qrCodeView; }
    ClickableIconView* closeButton() const { return m_closeButton; }

private:
    QPointer<QWidget> m_view;
    QRCodeView* m_qrCodeView = nullptr;
    ClickableIconView* m_closeButton = nullptr;
};

}  // namespace tarnwick
