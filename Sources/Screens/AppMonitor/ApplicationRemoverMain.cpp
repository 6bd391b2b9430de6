#include "ApplicationRemover.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return tarnwick::ApplicationRemover::run(std::vector<std::string>(argv + 1, argv + argc));
}
