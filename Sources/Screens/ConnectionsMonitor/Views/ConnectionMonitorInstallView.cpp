#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorInstallView.h"

#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tarnwick {

ConnectionMonitorInstallView::ConnectionMonitorInstallView(std::function<void()> moveToApplications,
                                                           QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("ConnectionMonitorInstallView"));
    auto* column = new QVBoxLayout(this);
    column->addStretch();
    auto* image = new QLabel(this);
    image->setPixmap(ImageAsset::pixmap("WumbleSit", QSize(128, 128), devicePixelRatioF()));
    image->setContentsMargins(20, 0, 0, 8);
    column->addWidget(image, 0, Qt::AlignHCenter);
    auto* text = cmviews::makeWrappedLabel(
        QStringLiteral(
            "To enable Connection Monitor, please, move Tarnwick to Applications folder"),
        typefaceFace::regular, 12, Appearance::secondaryLabelColor(this), 280, this);
    column->addWidget(text, 0, Qt::AlignHCenter);
    column->addSpacing(12);
    m_button = new QPushButton(qtext(InterfaceText::letsDoIt), this);
    m_button->setObjectName(QStringLiteral("InstallButton"));
    m_button->setFont(Typeface::font(typefaceFace::medium, 13));
    m_button->setToolTip(QStringLiteral(
        "Tarnwick uses System Network Extension to monitor internet traffic and it is only "
        "available for apps in Application directory"));
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setStyleSheet(
        QStringLiteral("QPushButton { color: white; border: none; border-radius: 5px; "
                       "padding: 8px 16px; background: %1; }")
            .arg(Appearance::color(NamedColor::buttonColor()).name(QColor::HexArgb)));
    m_button->installEventFilter(this);
    connect(m_button, &QPushButton::clicked, this, [moveToApplications] {
        if (moveToApplications) {
            moveToApplications();
        }
    });
    column->addWidget(m_button, 0, Qt::AlignHCenter);
    column->addSpacing(36);
    column->addStretch();
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        // Only while the prompt is shown: a hidden widget's shortcut does not fire.
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, m_button, &QPushButton::click);
    }
}

bool ConnectionMonitorInstallView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_button && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        m_isButtonHovered = event->type() == QEvent::Enter;
        m_button->setFont(Typeface::font(typefaceFace::medium, m_isButtonHovered ? 13.4 : 13));
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarnwick
