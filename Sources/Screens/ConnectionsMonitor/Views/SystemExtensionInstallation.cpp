#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"

#include "Foundation/Bundle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QLabel* stepLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setFixedWidth(376);
    return label;
}

}  // namespace

std::string SystemExtensionInstallation::nameText(const Bundle& mainBundle) {
    const std::string name =
        mainBundle.stringForInfoDictionaryKey("CFBundleDisplayName").value_or("Tarnwick");
    // What this desktop asks: the password dialog's own button, not a settings pane's.
    return "3: Click \"Authenticate\" in the password dialog to give " + name +
           " permission to run on your device. ";
}

SystemExtensionInstallation::SystemExtensionInstallation(const Bundle& mainBundle, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("SystemExtensionInstallation"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(32, 28, 32, 24);
    column->setSpacing(12);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* title = new QLabel(QStringLiteral("Install the network filter"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);
    column->addWidget(stepLabel(
        QStringLiteral("To watch new connections, the Connections Monitor installs a network "
                       "filter that runs with administrator rights."),
        this));
    column->addWidget(stepLabel(QStringLiteral("1: Click \"Continue\" below."), this));
    column->addWidget(
        stepLabel(QStringLiteral("2: Enter your password when the system asks for it."), this));
    m_nameLabel = stepLabel(QString::fromStdString(nameText(mainBundle)), this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    column->addWidget(m_nameLabel);

    m_continueButton = new QPushButton(QStringLiteral("Continue"), this);
    m_continueButton->setDefault(true);
    connect(m_continueButton, &QPushButton::clicked, this,
            &SystemExtensionInstallation::continueButtonClicked);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setVisible(false);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        if (onCancel && !m_cancelled) {
            m_cancelled = true;
            onCancel();
        }
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, m_cancelButton, [this] {
        if (m_cancelButton->isVisible()) {
            m_cancelButton->click();
        }
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_continueButton);
    column->addSpacing(8);
    column->addLayout(buttons);
}

void SystemExtensionInstallation::setCancellable(bool cancellable) {
    m_cancelButton->setVisible(cancellable);
}

void SystemExtensionInstallation::paintEvent(QPaintEvent*) {
    // The sheet shows what its content paints: an opaque panel in the window's colour.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(panel, palette().window());
}

void SystemExtensionInstallation::continueButtonClicked() {
    if (onContinue) {
        onContinue();
    }
}

}  // namespace tarnwick
