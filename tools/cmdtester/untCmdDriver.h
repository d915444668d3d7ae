#pragma once
// The driver as the test programs reach it: created by its ProgID through the registration and driven
// through IDispatch by member name, as a script host drives it. Names are resolved once per object.

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/OleAuto.h"
#include "tools/cmdtester/untCmdValue.h"
#include "tools/cmdtester/untCommand.h"

namespace tessel::cmd {

// The ProgID under which the driver registers its class.
inline constexpr char kDriverProgId[] = "Addin.TesselDriver";

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

// Safe to call from several threads at once, as the test program's readers do: the cache of names has a lock
// of its own, and the driver runs one operation at a time.
class TCmdDriver {
  public:
    // Creates the registered class of `progId` and asks it for IDispatch. Throws ECmdDriverError with the
    // reason and the way to register the driver.
    static TCmdDriver Create(const std::string& progId = kDriverProgId);
    explicit TCmdDriver(ComPtr<IDispatch> dispatch);

    IDispatch& Dispatch() const { return *dispatch_.Get(); }

    // The DISPID of a member name. Throws ECmdDriverError for a name the driver does not know.
    DISPID IdOf(const std::string& name);
    // Each throws ECmdDriverError naming the member when the driver refuses the call.
    void Get(const std::string& name, VARIANT& value);
    void Put(const std::string& name, const VARIANT& value);
    // A method's value, the operation's result code.
    LONG Call(const std::string& name);
    LONG GetLong(const std::string& name);
    std::string GetText(const std::string& name);
    void PutLong(const std::string& name, LONG value);
    void PutBool(const std::string& name, bool value);

    // Writes every parameter that is not read-only to its property, in order: its text converted by type,
    // put by the property's DISPID. At the first failure throws ECmdDriverError with
    // "Ошибка при записи свойства <property>, <caption>\r\n<why>"; the ones before it stay written.
    void WriteParams(const TCmdParams& params, const TCmdDateForms& forms);
    // Reads every parameter's property into its text. At the first failure throws ECmdDriverError with
    // "Ошибка при чтении свойства <property>, <caption>\r\n<why>"; the ones before it are read.
    void ReadParams(TCmdParams& params, const TCmdDateForms& forms);

  private:
    // The call by DISPID; on failure `why` says why in words for the user.
    HRESULT TryInvoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, std::string& why);
    void Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result);

    ComPtr<IDispatch> dispatch_;
    std::unique_ptr<std::mutex> idsMutex_ = std::make_unique<std::mutex>();  // held apart: the driver moves
    std::map<std::string, DISPID> ids_;
};

}  // namespace tessel::cmd
