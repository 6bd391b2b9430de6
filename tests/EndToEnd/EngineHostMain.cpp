#include "EngineHost.h"
#include "Logging/ConsoleDestination.h"
#include "Logging/LogHub.h"

#include <memory>

int main(int argc, char** argv) {
    // The engine's own log lines go with its reports, for the test to read.
    tarnwick::LogHub::addDestination(std::make_shared<tarnwick::ConsoleDestination>());
    return tarnwick::testing::runEngineHost(argc, argv);
}
