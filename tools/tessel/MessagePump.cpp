#include "tools/tessel/MessagePump.h"

#include <algorithm>
#include <chrono>

namespace tessel::cli {

namespace {

// An endless wait is taken in slices of this length, so that every single wait stays bounded.
constexpr std::uint64_t kSliceMs = 1000;

}  // namespace

MessagePump::MessagePump(StopSignals& signals)
    : signals_(signals), queue_(MessageQueue::ForCurrentThread()) {}

std::size_t MessagePump::DispatchPending() {
    return queue_->DispatchPending();
}

void MessagePump::PumpFor(std::uint64_t ms, const AfterDispatch& after) {
    Pump(false, ms, after);
}

void MessagePump::PumpUntilStopped(const AfterDispatch& after) {
    Pump(true, 0, after);
}

bool MessagePump::PumpUntil(const std::function<bool()>& done, bool stopOnSignal) {
    for (;;) {
        if (done()) return true;
        if (stopOnSignal && signals_.Stopped()) return false;
        if (signals_.Wait(*queue_, kSliceMs, stopOnSignal)) queue_->DispatchPending();
    }
}

void MessagePump::Pump(bool endless, std::uint64_t ms, const AfterDispatch& after) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool last = false;
    // Every pass polls at least once, so that even a zero wait delivers what waits already.
    while (!last && !signals_.Stopped()) {
        std::uint64_t slice = kSliceMs;
        if (!endless) {
            const auto now = Clock::now();
            const auto left =
                now >= deadline ? 0 : std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            slice = std::min<std::uint64_t>(slice, static_cast<std::uint64_t>(left));
            last = left == 0;
        }
        if (signals_.Wait(*queue_, static_cast<std::uint32_t>(slice), true)) {
            queue_->DispatchPending();
            if (after && !after()) return;
        }
    }
}

}  // namespace tessel::cli
