#include "UnownedConnector.h"

int main(int argc, char** argv) {
    return tarnwick::testing::runUnownedConnector(argc, argv);
}
