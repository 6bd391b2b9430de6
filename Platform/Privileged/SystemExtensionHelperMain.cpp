#include "SystemExtensionHelper.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return tarnwick::SystemExtensionHelper::run(std::vector<std::string>(argv + 1, argv + argc));
}
