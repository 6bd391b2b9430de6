#include "ApplicationRemover.h"
#include "RequestingUser.h"

#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    // Run as root without pkexec, root itself asks.
    return tarnwick::ApplicationRemover::run(std::vector<std::string>(argv + 1, argv + argc),
                                             tarnwick::requestingUser().value_or(::getuid()));
}
