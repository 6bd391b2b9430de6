#include "Screens/AppMonitor/Views/MascotStageView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Screens/AppMonitor/Views/ViewText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

using namespace appmonitorviews;

MascotStageView::MascotStageView(AppMonitorViewModel& viewModel, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->addStretch();
    m_mascot = new QLabel(this);
    m_mascot->setObjectName(QStringLiteral("mascot"));
    m_mascot->setAlignment(Qt::AlignCenter);
    column->addWidget(m_mascot, 0, Qt::AlignHCenter);
    m_progressText = new QLabel(this);
    m_progressText->setObjectName(QStringLiteral("progressText"));
    m_progressText->setFont(Typeface::font(typefaceFace::regular, 12));
    m_progressText->setAlignment(Qt::AlignCenter);
    m_progressText->setWordWrap(true);
    m_progressText->setContentsMargins(5 + 8, 8, 8 - 5 + 8, 8);
    setTextColor(m_progressText, Appearance::secondaryLabelColor(this));
    column->addWidget(m_progressText);
    column->addStretch();

    bindPublisher(viewModel.currentQuendleFrame().publisher(), this,
                  [this](const std::string& frame) { showFrame(frame); });
    bindPublisher(viewModel.progressDescription().publisher(), this,
                  [this](const std::string& text) { m_progressText->setText(qtext(text)); });
}

void MascotStageView::showFrame(const std::string& frame) {
    m_frame = frame;
    const QSize natural = ImageAsset::naturalSize(frame);
    const int height =
        natural.isEmpty() ? mascotWidth : mascotWidth * natural.height() / natural.width();
    const QSize size(mascotWidth, height);
    m_mascot->setFixedSize(size);
    m_mascot->setPixmap(ImageAsset::pixmap(frame, size, devicePixelRatioF()));
}

}  // namespace tarnwick
