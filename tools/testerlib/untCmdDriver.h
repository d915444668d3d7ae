#pragma once
// The driver as the test programs reach it: created by its ProgID through the registration and driven
// through IDispatch by member name, as a script host drives it (the client library), with failures in words
// for the user.

#include <stdexcept>
#include <string>

#include "driver/client/DriverClient.h"
#include "tools/testerlib/untCmdValue.h"
#include "tools/testerlib/untCommand.h"

namespace tessel::cmd {

using client::kDriverProgId;

// A call that the driver refused, or a class that could not be created; the message is in words for the
// user. Failures of the driver's own operations never raise this: they travel in ResultCode.
class ECmdDriverError : public std::runtime_error {
  public:
    ECmdDriverError(const std::string& message, HRESULT hr) : std::runtime_error(message), hr_(hr) {}
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// The text of a failing HRESULT for the user: "Несоответствие типов (80020005h)".
std::string OleErrorText(HRESULT hr);

// Safe to call from several threads at once, as the test program's readers do (the client library's calls
// are). Every refused call throws ECmdDriverError naming the member.
class TCmdDriver : public client::LateBoundDriver {
  public:
    // Creates the registered class of `progId` and asks it for IDispatch. Throws ECmdDriverError with the
    // reason and the way to register the driver.
    static TCmdDriver Create(const std::string& progId = kDriverProgId);
    explicit TCmdDriver(ComPtr<IDispatch> dispatch);

    IDispatch& Dispatch() const { return *Object(); }

    // A method's value, the result code; 0 for a method without a value.
    LONG Call(const std::string& name) const;
    // The property's value in its text form for the user.
    std::string GetText(const std::string& name) const;

    // Writes every parameter that is not read-only to its property, in order: its text converted by type,
    // put by the property's DISPID. At the first failure throws ECmdDriverError with
    // "Ошибка при записи свойства <property>, <caption>\r\n<why>"; the ones before it stay written.
    void WriteParams(const TCmdParams& params, const TCmdDateForms& forms);
    // Reads every parameter's property into its text. At the first failure throws ECmdDriverError with
    // "Ошибка при чтении свойства <property>, <caption>\r\n<why>"; the ones before it are read.
    void ReadParams(TCmdParams& params, const TCmdDateForms& forms);
};

}  // namespace tessel::cmd
