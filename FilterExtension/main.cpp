#include "FilterDataProvider.h"
#include "IPCConnection.h"
#include "NetworkExtension/Provider/NEProvider.h"
#include "OSLog/OSLog.h"

#include <malloc.h>
#include <memory>
#include <unistd.h>

using namespace tarnwick;

int main() {
    // The flow threads allocate little and briefly; an allocation arena for each of them would
    // cost the resident memory of a small program for nothing.
    (void)::mallopt(M_ARENA_MAX, 2);
    OSLog::setDestination(OSLogDestination::journal);
    NEProvider::setFilterDataProviderFactory([] { return std::make_shared<FilterDataProvider>(); });
    NEProvider::startSystemExtensionMode([] { IPCConnection::shared()->startListener(); });
    // Serves the main queue until a signal has shut the filter down.
    NEProvider::runUntilStopped();
    // Threads of the link and the worker pool may still run; leaving without destructors is the
    // safe way out.
    ::_exit(0);
}
