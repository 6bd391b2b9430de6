#pragma once

#include <source_location>

namespace tarnwick {

// Application state (engine and screen-model fields, published values) changes on the main queue
// only; work that finishes elsewhere hops there first. Every mutator of that state starts with this
// call, so a Debug or test build stops at the first caller on another thread instead of racing.
// Release builds compile it to nothing.
#ifdef NDEBUG
inline void dispatchPreconditionOnMain(std::source_location = std::source_location::current()) {}
#else
void dispatchPreconditionOnMain(std::source_location where = std::source_location::current());
#endif

}  // namespace tarnwick
