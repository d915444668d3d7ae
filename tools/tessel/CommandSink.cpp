#include "tools/tessel/CommandSink.h"

#include <stdexcept>

#include "tools/tessel/DispatchDriver.h"

namespace tessel::cli {

std::unique_ptr<TEventDriver> CommandSink::Connect(IDispatch& driver) {
    auto events = std::make_unique<TEventDriver>(ComPtr<IUnknown>(&driver), DIID_IDriverEvents,
                                                 [this](std::int32_t id) { pending_.push_back(id); });
    const HRESULT hr = events->TryConnect();
    if (FAILED(hr))
        throw std::runtime_error("the driver refused the IDriverEvents sink (" + HResultText(hr) + ")");
    return events;
}

std::int32_t CommandSink::TakeNext() {
    if (pending_.empty()) throw std::out_of_range("no received command is waiting");
    const std::int32_t id = pending_.front();
    pending_.pop_front();
    return id;
}

}  // namespace tessel::cli
