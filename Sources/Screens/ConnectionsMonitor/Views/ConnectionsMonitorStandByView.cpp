#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorStandByView.h"

#include "QtSupport/PublisherBinding.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

// The frame at `width`, its aspect ratio kept.
QPixmap frame(const std::string& name, int width, qreal ratio) {
    const QSize natural = ImageAsset::naturalSize(name);
    if (natural.isEmpty()) {
        return {};
    }
    return ImageAsset::pixmap(name, QSize(width, width * natural.height() / natural.width()),
                              ratio);
}

}  // namespace

ConnectionsMonitorStandByView::ConnectionsMonitorStandByView(
    std::shared_ptr<ConnectionsMonitorViewModel> viewModel, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)) {
    setObjectName(QStringLiteral("ConnectionsMonitorStandByView"));
    auto* column = new QVBoxLayout(this);
    column->addStretch();
    m_image = new QLabel(this);
    m_image->setAlignment(Qt::AlignCenter);
    column->addWidget(m_image, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    auto* text = cmviews::makeWrappedLabel(
        QStringLiteral("Your live connection data will appear here..."), typefaceFace::regular, 12,
        Appearance::secondaryLabelColor(this), 170, this);
    column->addWidget(text, 0, Qt::AlignHCenter);
    column->addSpacing(36);
    column->addStretch();
    bindPublisher(m_viewModel->currentWumbleFrame.publisher(), this,
                  [this](const std::string& name) {
                      m_frameName = qtext(name);
                      m_image->setPixmap(frame(name, 116, devicePixelRatioF()));
                  });
}

}  // namespace tarnwick
