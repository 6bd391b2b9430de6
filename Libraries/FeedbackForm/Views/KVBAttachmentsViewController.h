#pragma once

#include "KVBAttachButtonItem.h"
#include "KVBAttachmentItem.h"

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace tarnwick {

class KVBFileSelectionManager;
class KVBLeftFlowLayout;

// The attachments strip: one item per attached file, then "Attach File..." while more files may
// be added. Files are checked as they come: only regular files (no folders, no symbolic links)
// below the size limit, each once, and no more than the count limit.
class KVBAttachmentsViewController : public QWidget,
                                     public KVBAttachButtonItemDelegate,
                                     public KVBAttachmentItemDelegate {
    Q_OBJECT

public:
    explicit KVBAttachmentsViewController(std::shared_ptr<KVBFileSelectionManager> manager,
                                          QWidget* parent = nullptr);

    const std::vector<std::filesystem::path>& attachments() const { return m_attachments; }
    // 0 = no limit.
    unsigned maxAttachmentsCount() const { return m_maxAttachmentsCount; }
    void setMaxAttachmentsCount(unsigned count) { m_maxAttachmentsCount = count; }
    // In mebibytes; 0 = no limit.
    unsigned maxAttachmentFileSize() const { return m_maxAttachmentFileSize; }
    void setMaxAttachmentFileSize(unsigned mebibytes) { m_maxAttachmentFileSize = mebibytes; }
    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);

    bool isAttachmentsLimitReached() const;
    // The callback of the file chooser.
    void addFiles(const std::vector<std::filesystem::path>& files);
    void reloadData();

    const std::vector<KVBAttachmentItem*>& attachmentItems() const { return m_items; }
    // None while the limit is reached.
    KVBAttachButtonItem* attachButtonItem() const { return m_attachButton; }
    KVBLeftFlowLayout* flowLayout() const { return m_layout; }

    void attachButtonItemDidReceiveClick(KVBAttachButtonItem* item) override;
    void attachmentItemDidGetRemoved(KVBAttachmentItem* item) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<KVBFileSelectionManager> m_fileSelectionManager;
    std::vector<std::filesystem::path> m_attachments;
    unsigned m_maxAttachmentsCount = 0;
    unsigned m_maxAttachmentFileSize = 0;
    bool m_isEnabled = true;
    KVBLeftFlowLayout* m_layout;
    std::vector<KVBAttachmentItem*> m_items;
    KVBAttachButtonItem* m_attachButton = nullptr;
};

}  // namespace tarnwick
