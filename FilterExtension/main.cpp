#include "ApplicationProgram.h"
#include "FilterDataProvider.h"
#include "IPCConnection.h"
#include "NetworkExtension/Provider/NEProvider.h"
#include "OSLog/OSLog.h"

#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

int main(int argc, char** argv) {
    // The flow threads allocate little and briefly; an allocation arena for each of them would
    // cost the resident memory of a small program for nothing.
    (void)::mallopt(M_ARENA_MAX, 2);
    OSLog::setDestination(OSLogDestination::journal);
    // "--application <program>", as often as needed, names the programs that may register in
    // place of the application of this extension's bundle, each still only as root left it. Only
    // root gives this command line: the helper and the service unit start the extension without
    // arguments, and no polkit action lets a user run it.
    // Used for testing only
    std::vector<std::filesystem::path> applications;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--application") {
            applications.emplace_back(argv[++i]);
        }
    }
    if (!applications.empty()) {
        IPCConnection::shared()->setApplicationCheck(
            [program = std::make_shared<const ApplicationProgram>(std::move(applications))](
                pid_t process) { return program->isRunBy(process); });
    }
    NEProvider::setFilterDataProviderFactory([] { return std::make_shared<FilterDataProvider>(); });
    NEProvider::startSystemExtensionMode([] { IPCConnection::shared()->startListener(); });
    // Serves the main queue until a signal has shut the filter down.
    NEProvider::runUntilStopped();
    // Threads of the link and the worker pool may still run; leaving without destructors is the
    // safe way out.
    ::_exit(0);
}
