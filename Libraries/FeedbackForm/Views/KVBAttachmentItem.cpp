#include "KVBAttachmentItem.h"

#include "KVBBorderedView.h"
#include "KVBBundleHelper.h"
#include "KVBMaskedImageView.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {
// 6 + label + 4 + 10 + 6.
constexpr int kChromeWidth = 26;
constexpr int kHeight = 20;
}  // namespace

KVBAttachmentItem::KVBAttachmentItem(QWidget* parent) : QWidget(parent) {
    m_containerView = new KVBBorderedView(this);
    m_containerView->setCornerRadius(6);
    m_containerView->setBorderWidth(1);
    m_containerView->setBorderColor(kvbDynamicInverted50AlphaColor(this));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_containerView);

    m_fileNameLabel = kvbLabel(m_containerView);
    m_fileNameLabel->setFont(kvbSystemFont(12));
    m_clickableView = new KVBClickableView(m_containerView);
    m_clickableView->setDelegate(this);
    m_clickableView->setFixedSize(10, 10);
    auto* removeImage = new KVBMaskedImageView(m_clickableView);
    removeImage->setImageMask(KVBBundleHelper::imageNamed(QStringLiteral("removeIcon"), {20, 20}));
    removeImage->setMaskColor(kvbDynamicInverted50AlphaColor(this));
    removeImage->setGeometry(0, 0, 10, 10);
    setFixedHeight(kHeight);
}

void KVBAttachmentItem::setFileURL(std::filesystem::path url) {
    m_fileURL = std::move(url);
    updateLabel();
}

void KVBAttachmentItem::setMaximumItemWidth(int width) {
    m_maximumWidth = width;
    updateLabel();
}

void KVBAttachmentItem::updateLabel() {
    const QString name = QString::fromStdString(m_fileURL.filename().string());
    const QFontMetrics metrics(m_fileNameLabel->font());
    const int available = std::max(m_maximumWidth - kChromeWidth, 0);
    const QString shown = metrics.elidedText(name, Qt::ElideMiddle, available);
    m_fileNameLabel->setText(shown);
    m_fileNameLabel->setToolTip(name);
    const int labelWidth = std::min(metrics.horizontalAdvance(shown), available);
    m_fileNameLabel->setGeometry(6, (kHeight - metrics.height()) / 2 - 1, labelWidth,
                                 metrics.height());
    m_clickableView->move(6 + labelWidth + 4, (kHeight - 10) / 2);
    setFixedWidth(labelWidth + kChromeWidth);
    updateGeometry();
}

QSize KVBAttachmentItem::sizeHint() const {
    return {width(), kHeight};
}

bool KVBAttachmentItem::isEnabled() const {
    return m_clickableView->isEnabled();
}

void KVBAttachmentItem::setEnabled(bool enabled) {
    m_clickableView->setEnabled(enabled);
    if (enabled) {
        setGraphicsEffect(nullptr);
    } else {
        auto* effect = new QGraphicsOpacityEffect(this);
        effect->setOpacity(0.5);
        setGraphicsEffect(effect);
    }
}

void KVBAttachmentItem::clickableViewDidReceiveClick(KVBClickableView*) {
    if (m_delegate) {
        m_delegate->attachmentItemDidGetRemoved(this);
    }
}

}  // namespace tarnwick
