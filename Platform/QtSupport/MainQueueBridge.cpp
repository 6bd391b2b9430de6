#include "MainQueueBridge.h"

#include "Dispatch/DispatchQueue.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace tarnwick {

void MainQueueBridge::install() {
    DispatchQueue::main()->setMainWakeUpHandler([] {
        // Posting an event is thread-safe; the application object lives until the process ends.
        if (auto* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                application, [] { DispatchQueue::main()->drainMain(); }, Qt::QueuedConnection);
        }
    });
}

void MainQueueBridge::uninstall() {
    DispatchQueue::main()->setMainWakeUpHandler(nullptr);
}

}  // namespace tarnwick
