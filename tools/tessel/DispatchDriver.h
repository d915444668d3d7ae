#pragma once
// The late-binding caller: the driver reached by its ProgID and driven through IDispatch alone, as a script
// host drives it (the client library), with the command-line client's own errors.

#include <stdexcept>
#include <string>

#include "driver/client/DriverClient.h"

namespace tessel::cli {

using client::HResultText;
using client::kDriverProgId;
using client::Variant;

// A dispatch call that the driver refused (an unknown name, a value it cannot convert). Member failures of
// the driver itself never raise this: they travel in ResultCode.
class DispatchError : public std::runtime_error {
  public:
    DispatchError(const std::string& message, HRESULT hr) : std::runtime_error(message), hr_(hr) {}
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// The class could not be created; the message says why and how to register the driver.
class CreationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Failures in the client library's words, as DispatchError; a missing ITesselDriver as the library's error.
class DispatchDriver : public client::LateBoundDriver {
  public:
    // Creates the registered class for `progId` and asks it for IDispatch. Throws CreationError with the
    // reason and the command that registers the driver.
    static DispatchDriver Create(const std::string& progId = kDriverProgId);
    explicit DispatchDriver(ComPtr<IDispatch> dispatch);

    using LateBoundDriver::Call;
    using LateBoundDriver::Get;
    // Calls a method without arguments and returns its value (the result code), or VT_EMPTY for a method
    // that yields nothing. Throws DispatchError when the name is unknown or the call is refused.
    void Call(const std::string& name, Variant& result) { LateBoundDriver::Call(name, *result); }
    // Reads a property. Throws DispatchError as Call does.
    void Get(const std::string& name, Variant& value) { LateBoundDriver::Get(name, *value); }

    IDispatch* Dispatch() const { return Object(); }
};

}  // namespace tessel::cli
