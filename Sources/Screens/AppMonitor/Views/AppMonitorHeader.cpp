#include "Screens/AppMonitor/Views/AppMonitorHeader.h"

#include "Screens/AppMonitor/Views/ViewText.h"
#include "WidgetKit/Controls/ScanButtonView.h"
#include "WidgetKit/ScanButtonConfig.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

using namespace appmonitorviews;

AppMonitorHeader::AppMonitorHeader(std::function<void(ScanState)> writeScanState,
                                   std::function<void()> scanButtonAction,
                                   NotificationCenter& notificationCenter, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("AppMonitorHeader"));
    setMaximumHeight(40 + 90);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 40, 0, 0);
    auto* row = new QHBoxLayout();
    outer->addLayout(row);

    auto* column = new QVBoxLayout();
    column->setSpacing(8);
    column->setContentsMargins(30, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("App Monitor"), this);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Typeface::font(typefaceFace::bold, 25));
    auto* subtitle = new QLabel(
        QStringLiteral(
            "Examine binaries and other resources of applications installed on your computer"),
        this);
    subtitle->setObjectName(QStringLiteral("subtitle"));
    subtitle->setFont(Typeface::font(typefaceFace::regular, 13));
    setTextColor(subtitle, Appearance::secondaryLabelColor(this));
    column->addWidget(title);
    column->addWidget(subtitle);
    column->addStretch();
    auto* textColumn = new QWidget(this);
    textColumn->setLayout(column);
    textColumn->setMinimumWidth(600);
    row->addWidget(textColumn, 0, Qt::AlignLeading);
    row->addStretch();

    m_scanButton = new ScanButtonView(
        ScanButtonConfig::appMonitor(),
        [writeScanState = std::move(writeScanState),
         scanButtonAction = std::move(scanButtonAction)](ScanState state) {
            writeScanState(state);
            scanButtonAction();
        },
        this, notificationCenter);
    auto* buttonColumn = new QVBoxLayout();
    buttonColumn->setContentsMargins(0, 0, 16, 0);
    buttonColumn->addWidget(m_scanButton, 0, Qt::AlignTrailing);
    buttonColumn->addStretch();
    row->addLayout(buttonColumn);
}

void AppMonitorHeader::setScanState(ScanState state) {
    m_scanButton->setState(state);
}

void AppMonitorHeader::setButtonEnabled(bool enabled) {
    m_scanButton->setButtonEnabled(enabled);
    m_scanButton->setNoTargetCountryButtonHidden(enabled);
}

}  // namespace tarnwick
