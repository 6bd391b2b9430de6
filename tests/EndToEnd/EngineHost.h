#pragma once

namespace tarnwick::testing {

// A headless application over the real connection monitor engine, for the end-to-end test and the
// benchmark; its arguments and output are described beside it.
int runEngineHost(int argc, char** argv);

}  // namespace tarnwick::testing
