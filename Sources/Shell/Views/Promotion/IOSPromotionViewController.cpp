#include "Shell/Views/Promotion/IOSPromotionViewController.h"

#include "Shell/Views/Promotion/QRCodeView.h"
#include "Shell/Views/Sheets/DimView.h"
#include "WidgetKit/Controls/ClickableIconView.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Layout/EdgeLayout.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLabel>

namespace tarnwick {

namespace {

// Passes Escape to the content's dismissal; other keys go their usual way.
class PromotionView : public QWidget {
public:
    explicit PromotionView(SheetContent& content) : m_content(content) {
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            if (m_content.onDismiss) {
                m_content.onDismiss();
            }
            return;
        }
        QWidget::keyPressEvent(event);
    }

private:
    SheetContent& m_content;
};

QLabel* wrappingLabel(const QString& text, int pixelSize, QFont::Weight weight, int lineHeight,
                      const char* colour, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    QString html = text.toHtmlEscaped();
    html.replace(u'\n', QStringLiteral("<br>"));
    label->setText(
        QStringLiteral("<div style=\"line-height: %1px;\">%2</div>").arg(lineHeight).arg(html));
    label->setFont(Typeface::font(
        weight == QFont::DemiBold ? typefaceFace::semiBold : typefaceFace::regular, pixelSize));
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                             .arg(Appearance::color(colour).name(QColor::HexArgb)));
    return label;
}

}  // namespace

IOSPromotionViewController::IOSPromotionViewController() {
    auto* view = new PromotionView(*this);
    view->setObjectName(QStringLiteral("IOSPromotion"));
    m_view = view;

    auto* background = new SheetContentBackgroundView(view);
    EdgeLayout::autoPinEdgesToSuperviewEdgesWithInsets(background,
                                                       ALEdgeInsets{100, 100, 100, 100});
    EdgeLayout::autoSetDimensionsToSize(background, QSizeF(575, 400));

    auto* title = wrappingLabel(QStringLiteral("Take your phone on a safe\npath with Tarnwick iOS"),
                                30, QFont::DemiBold, 38, "dynamicInvertedColor", background);
    EdgeLayout::autoSetDimension(title, ALAttributeWidth, 400);
    EdgeLayout::autoPinEdgeToSuperviewEdge(title, ALAttributeTop, 72);
    EdgeLayout::autoPinEdgeToSuperviewEdge(title, ALAttributeLeft, 50);

    m_qrCodeView = new QRCodeView(background);
    m_qrCodeView->setContent(std::string(storeLink));
    EdgeLayout::autoSetDimensionsToSize(m_qrCodeView, QSizeF(130, 130));
    EdgeLayout::autoPinEdge(m_qrCodeView, ALAttributeTop, ALAttributeBottom, title, 30);
    EdgeLayout::autoPinEdgeToSuperviewEdge(m_qrCodeView, ALAttributeLeft, 50);

    auto* description = wrappingLabel(
        QStringLiteral(
            "Scan the QR code with your iPhone to download Tarnwick iOS from the App Store."),
        14, QFont::Normal, 19, "dynamicInverted75AlphaColor", background);
    EdgeLayout::autoSetDimension(description, ALAttributeWidth, 180);
    EdgeLayout::autoPinEdge(description, ALAttributeLeft, ALAttributeRight, m_qrCodeView, 30);
    EdgeLayout::autoAlignAxis(description, ALAttributeHorizontal, m_qrCodeView);

    auto* screenshot = new QLabel(view);
    screenshot->setPixmap(ImageAsset::pixmap("iOSScreenshot", QSize(155, 335), 2.0));
    screenshot->setScaledContents(true);
    auto* shadow = new QGraphicsDropShadowEffect(screenshot);
    shadow->setOffset(0, 10);
    shadow->setBlurRadius(40);
    shadow->setColor(QColor(0, 0, 0, 26));
    screenshot->setGraphicsEffect(shadow);
    EdgeLayout::autoSetDimensionsToSize(screenshot, QSizeF(155, 335));
    EdgeLayout::autoAlignAxis(screenshot, ALAttributeHorizontal, background);
    EdgeLayout::autoPinEdge(screenshot, ALAttributeRight, ALAttributeRight, background, 35);

    m_closeButton = new ClickableIconView(background);
    m_closeButton->setIcon("close");
    m_closeButton->setIconColor(Appearance::color("dynamicInverted75AlphaColor"));
    EdgeLayout::autoSetDimensionsToSize(m_closeButton, QSizeF(16, 16));
    EdgeLayout::autoPinEdgeToSuperviewEdge(m_closeButton, ALAttributeTop, 22);
    EdgeLayout::autoPinEdgeToSuperviewEdge(m_closeButton, ALAttributeLeft, 22);
    m_closeButton->onClick = [this] {
        if (onDismiss) {
            onDismiss();
        }
    };
}

IOSPromotionViewController::~IOSPromotionViewController() {
    delete m_view;
}

}  // namespace tarnwick
