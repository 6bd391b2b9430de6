#pragma once

#include <QImage>
#include <QWidget>

#include <optional>
#include <string>

namespace tarnwick {

// Draws a string as a QR code that fills the view: dark modules in the panel's text colour, the
// light ones transparent so the card shows through. No content, no drawing.
class QRCodeView : public QWidget {
    Q_OBJECT

public:
    explicit QRCodeView(QWidget* parent = nullptr);

    void setContent(std::optional<std::string> content);
    const std::optional<std::string>& content() const { return m_content; }
    // One pixel per module, dark modules black, light ones white; none without a string or when
    // the string cannot be encoded.
    static std::optional<QImage> makeQRCodeImage(const std::optional<std::string>& content);
    const std::optional<QImage>& qrCodeImageData() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<std::string> m_content;
    std::optional<QImage> m_image;
};

}  // namespace tarnwick
