#include "Shell/Views/About/AboutWindowController.h"

#include "QtSupport/Utf8Text.h"
#include "Shell/AboutWindowCopy.h"
#include "Shell/MakerLinks.h"
#include "Tools/BundleUtilities.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QLabel* label(const QString& content, std::string_view face, double size, bool secondary,
              QWidget* parent) {
    auto* result = new QLabel(content, parent);
    result->setFont(Typeface::font(face, size));
    result->setAlignment(Qt::AlignCenter);
    if (secondary) {
        QPalette palette = result->palette();
        palette.setColor(QPalette::WindowText, Appearance::secondaryLabelColor(result));
        result->setPalette(palette);
    }
    return result;
}

// Lets the whole window be moved by dragging its background.
class DraggableWindow : public QWidget {
protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            m_offset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (event->buttons() & Qt::LeftButton) {
            move(event->globalPosition().toPoint() - m_offset);
        }
    }

private:
    QPoint m_offset;
};

class ClickableLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            onClick) {
            onClick();
        }
    }
};

}  // namespace

AboutView::AboutView(const Bundle& bundle, QWidget* parent) : QWidget(parent), m_bundle(bundle) {
    openURL = [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); };
    setFixedSize(620, 420);
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);

    // Left column: who we are.
    auto* left = new QVBoxLayout;
    left->setAlignment(Qt::AlignHCenter);
    left->addSpacing(70);
    const QPixmap icon = ImageAsset::pixmap("AppIcon", QSize(100, 100), devicePixelRatioF());
    if (!icon.isNull()) {
        auto* iconView = new QLabel(this);
        iconView->setPixmap(icon);
        iconView->setAlignment(Qt::AlignCenter);
        left->addWidget(iconView);
    }
    left->addWidget(
        label(qtext(InterfaceText::aboutProductName), typefaceFace::bold, 25, false, this));

    auto* versionRow = new QHBoxLayout;
    versionRow->setAlignment(Qt::AlignCenter);
    const std::string version = versionText(m_bundle).value_or("X");
    QString versionLine = qtext(InterfaceText::aboutVersionFormat);
    versionLine.replace(QStringLiteral("%@"), QString::fromStdString(version));
    auto* versionLabel = label(versionLine, typefaceFace::regular, 12, true, this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionRow->addWidget(versionLabel);
    m_copyButton = new QToolButton(this);
    m_copyButton->setAutoRaise(true);
    m_copyButton->setIconSize(QSize(10, 10));
    m_copyButton->setCursor(Qt::PointingHandCursor);
    connect(m_copyButton, &QToolButton::clicked, this, [this] { copyVersion(); });
    refreshCopyButton();
    versionRow->addWidget(m_copyButton);
    left->addLayout(versionRow);

    left->addSpacing(60);
    auto* logo = new ClickableLabel(this);
    const QSize logoNatural = ImageAsset::naturalSize(InterfaceText::makerLogoImage);
    const QSize logoSize = logoNatural.scaled(QSize(1000, 14), Qt::KeepAspectRatio);
    // The logo is drawn dark; on a dark window it takes the text's colour so it stays visible.
    logo->setPixmap(
        Appearance::isDark()
            ? ImageAsset::tinted(InterfaceText::makerLogoImage, logoSize,
                                 palette().color(QPalette::WindowText), devicePixelRatioF())
            : ImageAsset::pixmap(InterfaceText::makerLogoImage, logoSize, devicePixelRatioF()));
    logo->setAlignment(Qt::AlignCenter);
    if (MakerLinks::hasSite) {
        logo->setCursor(Qt::PointingHandCursor);
        logo->onClick = [this] {
            const QUrl url(qtext(MakerLinks::homePage), QUrl::StrictMode);
            if (url.isValid()) {
                openURL(url.toString());
            }
        };
    }
    left->addWidget(logo);
    left->addSpacing(8);

    const std::string copyright =
        copyrightText(m_bundle).value_or(std::string(MakerLinks::fixedCopyright));
    auto* copyrightLabel =
        label(QString::fromStdString(copyright), typefaceFace::regular, 12, true, this);
    copyrightLabel->setWordWrap(true);
    copyrightLabel->setFixedWidth(220);
    left->addWidget(copyrightLabel, 0, Qt::AlignHCenter);

    const QUrl donation(qtext(MakerLinks::donation), QUrl::StrictMode);
    if (MakerLinks::hasSite && donation.isValid()) {
        auto* link = label(QStringLiteral("<a href=\"%1\" style=\"color: %3;\">%2</a>")
                               .arg(donation.toString(), qtext(AboutWindowCopy::donationTitle),
                                    Appearance::color(NamedColor::buttonColor()).name()),
                           typefaceFace::regular, 12, false, this);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setOpenExternalLinks(false);
        link->setContentsMargins(8, 8, 8, 8);
        QPalette linkPalette = link->palette();
        linkPalette.setColor(QPalette::Link, Appearance::color(NamedColor::buttonColor()));
        link->setPalette(linkPalette);
        connect(link, &QLabel::linkActivated, this,
                [this](const QString& address) { openURL(address); });
        left->addWidget(link);
    }
    left->addStretch();
    columns->addSpacing(60);
    columns->addLayout(left);
    columns->addStretch();

    // Right column: the credits.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setFixedWidth(260);
    auto* credits = new QWidget;
    credits->setObjectName(QStringLiteral("credits"));
    auto* list = new QVBoxLayout(credits);
    list->setAlignment(Qt::AlignHCenter);
    for (const AboutWindowCopy::Section& section : AboutWindowCopy::sections()) {
        auto* heading = label(qtext(section.title), typefaceFace::regular, 12, true, credits);
        heading->setContentsMargins(0, 8, 0, 0);
        list->addWidget(heading);
        for (std::string_view entry : section.entries) {
            list->addWidget(label(qtext(entry), typefaceFace::regular, 12, false, credits));
        }
    }
    auto* madeIn = label(qtext(AboutWindowCopy::madeIn), typefaceFace::regular, 12, false, credits);
    madeIn->setContentsMargins(24, 24, 24, 24);
    list->addWidget(madeIn);
    scroll->setWidget(credits);
    scroll->setStyleSheet(QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    columns->addWidget(scroll);
    columns->addSpacing(20);
}

void AboutView::copyVersion() {
    const auto version = versionText(m_bundle);
    if (!version) {
        return;
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("v") + QString::fromStdString(*version));
    m_didCopyVersion = true;
    refreshCopyButton();
}

void AboutView::refreshCopyButton() {
    const QColor colour =
        m_didCopyVersion ? QColor(0x2F, 0xA3, 0x6B) : palette().color(QPalette::PlaceholderText);
    m_copyButton->setIcon(QIcon(ImageAsset::tinted(
        m_didCopyVersion ? InterfaceText::copiedSymbol : InterfaceText::copySymbol, QSize(20, 20),
        colour, devicePixelRatioF())));
}

AboutWindowController::AboutWindowController(const Bundle& bundle, QWidget* mainWindow) {
    auto* window = new DraggableWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Closable, no title, not resizable and not minimisable. Over the main window as its
    // transient, so it stays above that window and no other, and closes with it.
    if (mainWindow != nullptr) {
        window->setParent(mainWindow->window(),
                          Qt::Dialog | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    } else {
        window->setWindowFlags(Qt::Window | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    }
    window->setWindowTitle(QString());
    window->setAutoFillBackground(true);
    QPalette background = window->palette();
    background.setColor(QPalette::Window, Appearance::color(NamedColor::windowBackgroundColor()));
    window->setPalette(background);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, window);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new AboutView(bundle, window));
    window->setFixedSize(620, 420);
    if (mainWindow != nullptr) {
        const QRect over = mainWindow->window()->frameGeometry();
        window->move(over.center() - window->rect().center());
    }
    m_window = window;
}

void AboutWindowController::showWindow() {
    if (!m_window) {
        return;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

}  // namespace tarnwick
