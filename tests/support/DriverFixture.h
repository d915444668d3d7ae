#pragma once
// What the tests of the driver's engine and automation objects set up again and again: settings that an
// earlier test saved forgotten, engines whose counters live in a folder of the test's own, and the pumping
// of the engine thread's queue through which the driver's events arrive.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

#include "common/platform/MessageQueue.h"
#include "common/platform/Registry.h"
#include "driver/automation/untDrvLink.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untEcrDrv.h"
#include "support/TempDir.h"

namespace tessel_test {

// Removes the driver's settings, so that nothing an earlier test saved decides this one.
inline void ForgetDriverSettings() {
    tessel::Registry().DeleteKey(kDriverKey);
}

// Pumps this thread's message queue, delivering the driver's events, until `done` holds or `ms` have passed;
// whether it held. `done` is looked at every 10 ms as well, since another thread may make it hold without
// posting anything here.
template <typename Done>
bool PumpUntil(Done&& done, std::uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const auto queue = tessel::MessageQueue::ForCurrentThread();
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        queue->WaitAndDispatch(static_cast<std::uint32_t>(std::min<std::int64_t>(left.count(), 10)));
    }
    return true;
}

// Pumps for all of `ms`, so that whatever was still on its way has arrived.
inline void PumpFor(std::uint32_t ms) {
    PumpUntil([] { return false; }, ms);
}

// While the object lives, the engine that the driver links create with the first automation object keeps
// its counters files in a temporary folder of its own instead of beside the driver library.
class ScopedEngineFactory {
  public:
    ScopedEngineFactory() {
        TDrvLinks::SetEngineFactory([dir = counters_.Path()] {
            return std::make_unique<TEcrDrv>(TEcrDrv::TOptions{dir, {}});
        });
    }
    // Every automation object must be gone by now: the engine's counters folder goes with the object.
    ~ScopedEngineFactory() { TDrvLinks::SetEngineFactory(nullptr); }
    ScopedEngineFactory(const ScopedEngineFactory&) = delete;
    ScopedEngineFactory& operator=(const ScopedEngineFactory&) = delete;

    const std::string& CountersFolder() const { return counters_.Path(); }

  private:
    TempDir counters_;
};

}  // namespace tessel_test
