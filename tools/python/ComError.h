#pragma once
// Failing HRESULTs as Python exceptions: tessel.ComError (code, text, argument) and its subclass
// tessel.MemberNotFoundError, which is also an AttributeError, so that hasattr() and getattr() with a default
// work on driver objects as on any Python object.

#include <pybind11/pybind11.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/com/ComTypes.h"

namespace tessel::python {

// Raised on the C++ side and turned into tessel.ComError (tessel.MemberNotFoundError for an unknown name)
// when it reaches Python.
class ComFailure : public std::runtime_error {
  public:
    // `argument` is the index of the argument at fault in the caller's order, when one is.
    ComFailure(HRESULT code, const std::string& text, std::optional<int> argument = std::nullopt);

    HRESULT Code() const { return code_; }
    std::optional<int> Argument() const { return argument_; }

  private:
    HRESULT code_;
    std::optional<int> argument_;
};

// "DISP_E_UNKNOWNNAME: unknown name" for the results the driver and the COM layer give, "8000FFFEh" for
// any other.
std::string ResultText(HRESULT code);

// Defines ComError and MemberNotFoundError in `module`, the constants of the known results (DISP_E_...,
// E_...) as module attributes, and the translation of ComFailure.
void RegisterComError(pybind11::module_& module);

}  // namespace tessel::python
