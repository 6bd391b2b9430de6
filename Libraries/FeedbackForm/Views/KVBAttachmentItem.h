#pragma once

#include "KVBClickableView.h"

#include <QWidget>

#include <filesystem>

class QLabel;

namespace tarnwick {

class KVBAttachmentItem;
class KVBBorderedView;

class KVBAttachmentItemDelegate {
public:
    virtual ~KVBAttachmentItemDelegate() = default;
    virtual void attachmentItemDidGetRemoved(KVBAttachmentItem* item) = 0;
};

// One attached file in the strip: its name, cut in the middle when long, and a remove button,
// inside a rounded border.
class KVBAttachmentItem : public QWidget, public KVBClickableViewDelegate {
    Q_OBJECT

public:
    explicit KVBAttachmentItem(QWidget* parent = nullptr);

    const std::filesystem::path& fileURL() const { return m_fileURL; }
    void setFileURL(std::filesystem::path url);
    // The widest the item may grow: the strip's width.
    void setMaximumItemWidth(int width);
    void setDelegate(KVBAttachmentItemDelegate* delegate) { m_delegate = delegate; }
    bool isEnabled() const;
    void setEnabled(bool enabled);

    QLabel* fileNameLabel() const { return m_fileNameLabel; }
    KVBClickableView* clickableView() const { return m_clickableView; }

    QSize sizeHint() const override;
    void clickableViewDidReceiveClick(KVBClickableView* view) override;

private:
    void updateLabel();

    std::filesystem::path m_fileURL;
    KVBAttachmentItemDelegate* m_delegate = nullptr;
    KVBBorderedView* m_containerView;
    QLabel* m_fileNameLabel;
    KVBClickableView* m_clickableView;
    int m_maximumWidth = QWIDGETSIZE_MAX;
};

}  // namespace tarnwick
