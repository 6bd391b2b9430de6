#include "KVBAttachmentsViewController.h"

#include "KVBFileSelectionManager.h"
#include "KVBLeftFlowLayout.h"

#include <QPointer>

#include <algorithm>
#include <limits>
#include <system_error>

namespace tarnwick {

KVBAttachmentsViewController::KVBAttachmentsViewController(
    std::shared_ptr<KVBFileSelectionManager> manager, QWidget* parent)
    : QWidget(parent), m_fileSelectionManager(std::move(manager)) {
    m_layout = new KVBLeftFlowLayout(this);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    reloadData();
}

void KVBAttachmentsViewController::setEnabled(bool enabled) {
    m_isEnabled = enabled;
    reloadData();
}

bool KVBAttachmentsViewController::isAttachmentsLimitReached() const {
    return m_maxAttachmentsCount != 0 && m_attachments.size() >= m_maxAttachmentsCount;
}

void KVBAttachmentsViewController::addFiles(const std::vector<std::filesystem::path>& files) {
    const std::uint64_t limit = m_maxAttachmentFileSize != 0
                                    ? std::uint64_t{m_maxAttachmentFileSize} << 20
                                    : std::numeric_limits<std::uint64_t>::max();
    for (const auto& file : files) {
        if (isAttachmentsLimitReached()) {
            break;
        }
        std::error_code error;
        // The file itself, not what a symbolic link points at.
        const auto status = std::filesystem::symlink_status(file, error);
        if (error || status.type() != std::filesystem::file_type::regular) {
            continue;
        }
        const auto size = std::filesystem::file_size(file, error);
        if (error || size >= limit) {
            continue;
        }
        if (std::find(m_attachments.begin(), m_attachments.end(), file) != m_attachments.end()) {
            continue;
        }
        m_attachments.push_back(file);
    }
    reloadData();
}

void KVBAttachmentsViewController::reloadData() {
    while (QLayoutItem* item = m_layout->takeAt(0)) {
        delete item;
    }
    for (KVBAttachmentItem* item : m_items) {
        item->deleteLater();
        item->hide();
    }
    m_items.clear();
    if (m_attachButton) {
        m_attachButton->deleteLater();
        m_attachButton->hide();
        m_attachButton = nullptr;
    }
    const int stripWidth = width() > 0 ? width() : QWIDGETSIZE_MAX;
    for (const auto& file : m_attachments) {
        auto* item = new KVBAttachmentItem(this);
        item->setDelegate(this);
        item->setMaximumItemWidth(stripWidth);
        item->setFileURL(file);
        item->setEnabled(m_isEnabled);
        m_layout->addWidget(item);
        item->show();
        m_items.push_back(item);
    }
    if (!isAttachmentsLimitReached()) {
        m_attachButton = new KVBAttachButtonItem(this);
        m_attachButton->setItemDelegate(this);
        m_attachButton->setEnabled(m_isEnabled);
        m_layout->addWidget(m_attachButton);
        m_attachButton->show();
    }
    m_layout->invalidate();
    updateGeometry();
}

void KVBAttachmentsViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (KVBAttachmentItem* item : m_items) {
        item->setMaximumItemWidth(width());
    }
}

void KVBAttachmentsViewController::attachButtonItemDidReceiveClick(KVBAttachButtonItem*) {
    if (!m_fileSelectionManager || !m_isEnabled) {
        return;
    }
    QPointer<KVBAttachmentsViewController> self(this);
    m_fileSelectionManager->selectFilesWithCallback(
        [self](std::vector<std::filesystem::path> files) {
            if (self) {
                self->addFiles(files);
            }
        });
}

void KVBAttachmentsViewController::attachmentItemDidGetRemoved(KVBAttachmentItem* item) {
    const auto file = item->fileURL();
    std::erase(m_attachments, file);
    reloadData();
}

}  // namespace tarnwick
