#pragma once
// The driver as the test program reaches it: one object created by its ProgID and called by member names,
// shared by every page and by the pages' worker threads. The result of every operation is tested: a
// non-zero result raises EDriverError with the driver's ResultDescription and the code.
//
// Safe to call from several threads at once: the driver runs one operation at a time. A sequence of calls
// that belong together (a property, then the method that reads it, then its results) is held with
// Sequence(), so that a page working on another thread does not change the property in between.

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/com/OleAuto.h"
#include "common/platform/Bytes.h"
#include "tools/cmdtester/untCmdDriver.h"

namespace tessel::tst {

// A driver operation that ended with a result other than 0: its ResultDescription and the result.
class EDriverError : public std::runtime_error {
  public:
    EDriverError(const std::string& text, LONG code) : std::runtime_error(text), code_(code) {}
    LONG Code() const { return code_; }

  private:
    LONG code_;
};

// A failure as the program shows it: "(code) text" for the driver's results, the message for the rest.
std::string ErrorText(const std::exception& e);

class TDriver {
  public:
    // Creates the registered class by its ProgID. Throws cmd::ECmdDriverError with the reason.
    static std::unique_ptr<TDriver> Create(const std::string& progId = cmd::kDriverProgId);
    explicit TDriver(cmd::TCmdDriver calls) : calls_(std::move(calls)) {}

    // Holds the driver for a sequence of calls; the same thread may take it again. Held for a few exchanges
    // at most and never while waiting for the window, so that the window waits no longer than that.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> Sequence() { return std::unique_lock(sequence_); }

    // The late-bound calls underneath, for the command descriptions' parameters.
    cmd::TCmdDriver& Calls() { return calls_; }
    IDispatch& Dispatch() const { return calls_.Dispatch(); }

    // Calls the method and raises EDriverError when its value is not 0.
    void Check(const std::string& method);
    // Calls the method; its value, unchecked (the link test counts failures, answers pass them on).
    LONG Call(const std::string& method) { return calls_.Call(method); }
    // Raises EDriverError from ResultCode and ResultDescription when ResultCode is not 0: for the setters,
    // which leave a refusal there.
    void CheckResult();
    // DeviceEnabled set to true, checked.
    void Open();

    // Property values. Each throws cmd::ECmdDriverError when the driver refuses the call or the value has
    // no such form.
    LONG GetLong(const std::string& name) { return calls_.GetLong(name); }
    bool GetBool(const std::string& name);
    std::string GetText(const std::string& name) { return calls_.GetText(name); }
    DATE GetDate(const std::string& name);
    LONGLONG GetMoney(const std::string& name);  // in 1/10000
    double GetDouble(const std::string& name);
    Bytes GetBytes(const std::string& name);  // a byte string, one character per byte
    void PutLong(const std::string& name, LONG value) { calls_.PutLong(name, value); }
    void PutBool(const std::string& name, bool value) { calls_.PutBool(name, value); }
    void PutDate(const std::string& name, DATE value);

  private:
    // The value of `name` changed to `type`.
    void GetAs(const std::string& name, VARTYPE type, VARIANT& out);

    cmd::TCmdDriver calls_;
    std::recursive_mutex sequence_;
};

}  // namespace tessel::tst
