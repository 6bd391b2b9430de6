#pragma once

#include "KVBClickableView.h"

class QLabel;

namespace tarnwick {

class KVBAttachButtonItem;
class KVBMaskedImageView;

class KVBAttachButtonItemDelegate {
public:
    virtual ~KVBAttachButtonItemDelegate() = default;
    virtual void attachButtonItemDidReceiveClick(KVBAttachButtonItem* item) = 0;
};

// The "Attach File..." item at the end of the strip, in the accent colour.
class KVBAttachButtonItem : public KVBClickableView, public KVBClickableViewDelegate {
    Q_OBJECT

public:
    explicit KVBAttachButtonItem(QWidget* parent = nullptr);

    void setItemDelegate(KVBAttachButtonItemDelegate* delegate) { m_itemDelegate = delegate; }
    void setEnabled(bool enabled);
    QLabel* caption() const { return m_caption; }

    QSize sizeHint() const override;
    void clickableViewDidReceiveClick(KVBClickableView* view) override;

private:
    KVBAttachButtonItemDelegate* m_itemDelegate = nullptr;
    KVBMaskedImageView* m_attachImage;
    QLabel* m_caption;
};

}  // namespace tarnwick
