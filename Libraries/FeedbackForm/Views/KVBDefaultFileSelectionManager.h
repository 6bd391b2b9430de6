#pragma once

#include "KVBFileSelectionManager.h"

#include <QFileDialog>
#include <QPointer>

class QWidget;

namespace tarnwick {

// A file dialog modal to one window, made once and reused: several files at once, no folders.
class KVBDefaultFileSelectionManager final : public KVBFileSelectionManager {
public:
    explicit KVBDefaultFileSelectionManager(QWidget* window);
    ~KVBDefaultFileSelectionManager() override;

    void selectFilesWithCallback(Callback callback) override;

    QFileDialog* openPanel() const { return m_openPanel; }

private:
    QPointer<QWidget> m_window;
    QPointer<QFileDialog> m_openPanel;
};

}  // namespace tarnwick
