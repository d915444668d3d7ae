#include "tools/tessel/DispatchDriver.h"

namespace tessel::cli {

namespace {

void Raise(const client::CallFailure& failure) {
    using Step = client::CallFailure::Step;
    switch (failure.step) {
        case Step::Register:
        case Step::Create:
            throw CreationError(client::FailureText(failure));
        case Step::Interface:
            return;  // the library's own error, a std::runtime_error
        default:
            throw DispatchError(client::FailureText(failure), failure.hr);
    }
}

}  // namespace

DispatchDriver DispatchDriver::Create(const std::string& progId) {
    return DispatchDriver(client::CreateDriver(progId, Raise));
}

DispatchDriver::DispatchDriver(ComPtr<IDispatch> dispatch) : LateBoundDriver(std::move(dispatch), Raise) {}

}  // namespace tessel::cli
