#pragma once
// The numbers of the commands the register sends, as `listen` takes them: the driver's event sink records
// each IDriverEvents.Command(CommandID) here, and the listener handles them once the dispatch that raised
// them has returned, so that no driver call runs inside the driver's own event.

#include <cstdint>
#include <deque>
#include <memory>

#include "driver/search/untEvent.h"

namespace tessel::cli {

class CommandSink {
  public:
    // Records every IDriverEvents.Command of `driver` until the returned connection goes, which it must do
    // before the sink; the numbers recorded stay queued after that. Throws std::runtime_error naming the
    // failure when the driver has no such point or refuses the sink.
    std::unique_ptr<TEventDriver> Connect(IDispatch& driver);

    // The command numbers received and not yet taken, oldest first. TakeNext throws std::out_of_range
    // when none is waiting.
    bool HasPending() const { return !pending_.empty(); }
    std::int32_t TakeNext();

  private:
    std::deque<std::int32_t> pending_;  // the engine's thread alone touches it: events are raised there
};

}  // namespace tessel::cli
