#include "KVBAttachButtonItem.h"

#include "KVBBundleHelper.h"
#include "KVBLocalizedString.h"
#include "KVBMaskedImageView.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>

namespace tarnwick {

KVBAttachButtonItem::KVBAttachButtonItem(QWidget* parent) : KVBClickableView(parent) {
    setDelegate(this);
    const QColor accent = palette().color(QPalette::Highlight);
    m_attachImage = new KVBMaskedImageView(this);
    m_attachImage->setImageMask(
        KVBBundleHelper::imageNamed(QStringLiteral("attachIcon"), {32, 32}));
    m_attachImage->setMaskColor(accent);
    m_attachImage->setFixedSize(16, 16);
    m_caption = kvbLabelWithString(
        kvbLocalizedString("Attach File...", "Attach file button caption."), this);
    m_caption->setFont(kvbSystemFont(12));
    QPalette colors = m_caption->palette();
    colors.setColor(QPalette::WindowText, accent);
    m_caption->setPalette(colors);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(2);
    layout->addWidget(m_attachImage);
    layout->addWidget(m_caption, 0, Qt::AlignVCenter);
}

QSize KVBAttachButtonItem::sizeHint() const {
    return {16 + 2 + m_caption->sizeHint().width(), 20};
}

void KVBAttachButtonItem::setEnabled(bool enabled) {
    KVBClickableView::setEnabled(enabled);
    if (enabled) {
        setGraphicsEffect(nullptr);
    } else {
        auto* effect = new QGraphicsOpacityEffect(this);
        effect->setOpacity(0.5);
        setGraphicsEffect(effect);
    }
}

void KVBAttachButtonItem::clickableViewDidReceiveClick(KVBClickableView*) {
    if (m_itemDelegate) {
        m_itemDelegate->attachButtonItemDidReceiveClick(this);
    }
}

}  // namespace tarnwick
