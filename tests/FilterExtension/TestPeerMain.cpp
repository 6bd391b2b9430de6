#include "TestPeer.h"

int main(int argc, char** argv) {
    return tarnwick::testing::runTestPeer(argc, argv);
}
