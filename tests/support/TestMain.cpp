#include "Dispatch/WorkerPool.h"

#include <gtest/gtest.h>

#include <chrono>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // As the application does at its end: a worker that retired idle after the last job is joined
    // here, not left for ThreadSanitizer to report as a leaked thread.
    (void)tarnwick::WorkerPool::shared().stop(std::chrono::seconds(5));
    return status;
}
