#include "MainQueuePrecondition.h"

#include "DispatchQueue.h"

#include <cstdio>
#include <cstdlib>

namespace tarnwick {

#ifndef NDEBUG
void dispatchPreconditionOnMain(std::source_location where) {
    if (isMainThread()) {
        return;
    }
    const auto label = DispatchQueue::currentLabel();
    std::fprintf(stderr, "%s:%u: %s runs off the main queue (on %s)\n", where.file_name(),
                 static_cast<unsigned>(where.line()), where.function_name(),
                 label ? label->c_str() : "a thread outside any queue");
    std::abort();
}
#endif

}  // namespace tarnwick
