#include "Dispatch/RunLoop.h"
#include "FilterDataProvider.h"
#include "IPCConnection.h"
#include "NetworkExtension/Provider/NEProvider.h"
#include "OSLog/OSLog.h"

#include <memory>

using namespace tarnwick;

int main() {
    OSLog::setDestination(OSLogDestination::journal);
    NEProvider::setFilterDataProviderFactory([] { return std::make_shared<FilterDataProvider>(); });
    NEProvider::startSystemExtensionMode([] { IPCConnection::shared()->startListener(); });
    // Parks the main thread for the life of the process, serving the main queue; the process ends
    // on a signal, through the provider host.
    for (;;) {
        RunLoop::main().run();
    }
}
