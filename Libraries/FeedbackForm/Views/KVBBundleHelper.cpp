#include "KVBBundleHelper.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <QWidget>

#include <map>

// The library is linked statically: its compiled-in resources are registered by hand, once.
static void initializeFeedbackFormResources() {
    Q_INIT_RESOURCE(KVBFeedbackForm);
}

namespace tarnwick {

namespace {

struct NamedColor {
    QColor light;
    QColor dark;
};

const std::map<QString, NamedColor>& namedColors() {
    static const auto* colors = new std::map<QString, NamedColor>{
        {QStringLiteral("dynamicInvertedColor"), {QColor(0, 0, 0), QColor(255, 255, 255)}},
        {QStringLiteral("dynamicInverted25AlphaColor"),
         {QColor(0, 0, 0, 64), QColor(255, 255, 255, 64)}},
        {QStringLiteral("dynamicInverted50AlphaColor"),
         {QColor(0, 0, 0, 128), QColor(255, 255, 255, 128)}},
        {QStringLiteral("errorColor"), {QColor(0xE0, 0x38, 0x3E), QColor(0xFF, 0x45, 0x3A)}},
        {QStringLiteral("textFieldBackgroundColor"),
         {QColor(255, 255, 255), QColor(0x2A, 0x2A, 0x2C)}},
        {QStringLiteral("textFieldBorderColor"),
         {QColor(0xC5, 0xC5, 0xC5), QColor(0x55, 0x55, 0x58)}},
    };
    return *colors;
}

bool isDark(const QWidget* context) {
    const QPalette palette = context ? context->palette() : QApplication::palette();
    return palette.color(QPalette::Window).lightness() < 128;
}

}  // namespace

QImage KVBBundleHelper::imageNamed(const QString& name, QSize size) {
    static const bool registered = (initializeFeedbackFormResources(), true);
    (void)registered;
    const QString path = QStringLiteral(":/KVBFeedbackForm/") + name + QStringLiteral(".svg");
    if (!QFile::exists(path)) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size.isEmpty()) {
        return {};
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QColor KVBBundleHelper::colorNamed(const QString& name, const QColor& fallback,
                                   const QWidget* context) {
    const auto& colors = namedColors();
    const auto found = colors.find(name);
    if (found == colors.end()) {
        return fallback;
    }
    return isDark(context) ? found->second.dark : found->second.light;
}

QColor kvbDynamicInvertedColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("dynamicInvertedColor"), Qt::black, context);
}

QColor kvbDynamicInverted25AlphaColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("dynamicInverted25AlphaColor"),
                                       QColor(0, 0, 0, 64), context);
}

QColor kvbDynamicInverted50AlphaColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("dynamicInverted50AlphaColor"),
                                       QColor(0, 0, 0, 128), context);
}

QColor kvbErrorColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("errorColor"), kvbColorWithSRGBHex(0xE0383E),
                                       context);
}

QColor kvbTextFieldBackgroundColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("textFieldBackgroundColor"), Qt::white,
                                       context);
}

QColor kvbTextFieldBorderColor(const QWidget* context) {
    return KVBBundleHelper::colorNamed(QStringLiteral("textFieldBorderColor"),
                                       kvbColorWithSRGBHex(0xC5C5C5), context);
}

QColor kvbColorWithSRGBHex(quint32 rgb) {
    return QColor::fromRgbF(static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
                            static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
                            static_cast<float>(rgb & 0xFF) / 255.0f, 1.0f);
}

QImage kvbMaskedImageWithColor(const QImage& image, const QColor& color) {
    if (image.isNull()) {
        return {};
    }
    QImage masked(image.size(), QImage::Format_ARGB32_Premultiplied);
    masked.fill(Qt::transparent);
    QPainter painter(&masked);
    painter.drawImage(0, 0, image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(masked.rect(), color);
    return masked;
}

QLabel* kvbLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QLabel* kvbMultilineLabel(QWidget* parent) {
    QLabel* label = kvbLabel(parent);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}

QLabel* kvbLabelWithString(const QString& text, QWidget* parent) {
    QLabel* label = kvbLabel(parent);
    label->setText(text);
    return label;
}

bool kvbHasMouseInside(const QWidget* widget, const QPointF& globalPosition) {
    if (!widget) {
        return false;
    }
    return widget->rect().contains(widget->mapFromGlobal(globalPosition.toPoint()));
}

QFont kvbSystemFont(int pixelSize, bool bold) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace tarnwick
