#pragma once

#include <mutex>

namespace ravir {

// The one process-wide lock that serialises every scan of a mapped movie or telemetry file
// (the direct box probes and the telemetry readers). Never held across a call that waits on a
// worker thread.
std::mutex& FindMutex();

}  // namespace ravir
