#include "KVBDefaultFileSelectionManager.h"

#include <QDir>
#include <QFileDialog>
#include <QWidget>

#include <memory>

namespace tarnwick {

KVBDefaultFileSelectionManager::KVBDefaultFileSelectionManager(QWidget* window)
    : m_window(window), m_openPanel(new QFileDialog(window)) {
    m_openPanel->setFileMode(QFileDialog::ExistingFiles);
    m_openPanel->setOption(QFileDialog::ReadOnly, true);  // no new folders from here
    m_openPanel->setWindowModality(Qt::WindowModal);
    // Where a user's files are, not wherever the application was started from.
    m_openPanel->setDirectory(QDir::homePath());
}

KVBDefaultFileSelectionManager::~KVBDefaultFileSelectionManager() {
    delete m_openPanel.data();
}

void KVBDefaultFileSelectionManager::selectFilesWithCallback(Callback callback) {
    if (!m_openPanel) {
        callback({});
        return;
    }
    QObject::disconnect(m_openPanel, &QFileDialog::finished, nullptr, nullptr);
    auto shared = std::make_shared<Callback>(std::move(callback));
    QObject::connect(m_openPanel, &QFileDialog::finished, m_openPanel,
                     [panel = m_openPanel, shared](int response) {
                         std::vector<std::filesystem::path> files;
                         if (response != QDialog::Rejected && panel) {
                             for (const QString& file : panel->selectedFiles()) {
                                 files.emplace_back(file.toStdString());
                             }
                         }
                         (*shared)(std::move(files));
                     });
    m_openPanel->open();
}

}  // namespace tarnwick
