#include "EngineHost.h"

int main(int argc, char** argv) {
    return tarnwick::testing::runEngineHost(argc, argv);
}
