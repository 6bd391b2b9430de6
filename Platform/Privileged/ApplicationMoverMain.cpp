#include "ApplicationMover.h"
#include "RequestingUser.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return tarnwick::ApplicationMover::run(std::vector<std::string>(argv + 1, argv + argc),
                                           tarnwick::requestingUser());
}
