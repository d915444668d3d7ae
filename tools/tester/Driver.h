#pragma once
// The driver as the test program reaches it: one object created by its ProgID and called by member names,
// shared by every page and by the pages' worker threads. The result of every operation is tested: a
// non-zero result raises EDriverError with the driver's ResultDescription and the code.
//
// Safe to call from several threads at once: one thread has the driver at a time (untDriverTurns.h), each
// call taking it for its length. A sequence of calls that belong together (a property, then the method that
// reads it, then its results) is held with Sequence(), so that a page working on another thread does not
// change the property in between. The window's thread (the one that made the object) never waits for a
// worker's call: there a call while a worker has the driver raises EDriverBusy; the window takes its turn
// through TryHold instead.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/com/OleAuto.h"
#include "common/platform/Bytes.h"
#include "tools/tester/untDriverTurns.h"
#include "tools/testerlib/untCmdDriver.h"

namespace tessel::tst {

// A driver operation that ended with a result other than 0: its ResultDescription and the result.
class EDriverError : public std::runtime_error {
  public:
    EDriverError(const std::string& text, LONG code) : std::runtime_error(text), code_(code) {}
    LONG Code() const { return code_; }

  private:
    LONG code_;
};

// A call on the window's thread while a worker has the driver: the window does not wait for it.
class EDriverBusy : public std::runtime_error {
  public:
    EDriverBusy() : std::runtime_error("Драйвер занят: выполняется операция на другой странице.") {}
};

// A failure as the program shows it: "(code) text" for the driver's results, the message for the rest.
std::string ErrorText(const std::exception& e);

class TDriver {
  public:
    // Creates the registered class by its ProgID. Throws cmd::ECmdDriverError with the reason.
    static std::unique_ptr<TDriver> Create(const std::string& progId = cmd::kDriverProgId);
    explicit TDriver(cmd::TCmdDriver calls) : calls_(std::move(calls)) {}

    // The driver had by the calling thread until the object goes.
    class THold {
      public:
        explicit THold(TDriverTurns& turns) : turns_(&turns) {}
        ~THold() {
            if (turns_ != nullptr) turns_->Unlock();
        }
        THold(THold&& other) noexcept : turns_(std::exchange(other.turns_, nullptr)) {}
        THold& operator=(THold&&) = delete;
        THold(const THold&) = delete;

      private:
        TDriverTurns* turns_;
    };

    // Holds the driver for a sequence of calls; the same thread may take it again. A worker waits for its
    // turn; it holds the driver for a few exchanges at most and never while it waits for the window. On the
    // window's thread it never waits: EDriverBusy when a worker has the driver.
    [[nodiscard]] THold Sequence();
    // The window's way: the driver held now, or nothing (without waiting) when another thread has it; the
    // window is then served next (Turns().SetOnReleased says when).
    [[nodiscard]] std::optional<THold> TryHold();
    TDriverTurns& Turns() { return turns_; }

    // The late-bound calls underneath, for the command descriptions' parameters: only while the driver is
    // held.
    cmd::TCmdDriver& Calls() { return calls_; }
    IDispatch& Dispatch() const { return calls_.Dispatch(); }

    // Calls the method and raises EDriverError when its value is not 0.
    void Check(const std::string& method);
    // Calls the method; its value, unchecked (the link test counts failures, answers pass them on).
    LONG Call(const std::string& method);
    // Raises EDriverError from ResultCode and ResultDescription when ResultCode is not 0: for the setters,
    // which leave a refusal there.
    void CheckResult();
    // DeviceEnabled set to true, checked.
    void Open();

    // Property values. Each throws cmd::ECmdDriverError when the driver refuses the call or the value has
    // no such form.
    LONG GetLong(const std::string& name);
    bool GetBool(const std::string& name);
    std::string GetText(const std::string& name);
    DATE GetDate(const std::string& name);
    LONGLONG GetMoney(const std::string& name);  // in 1/10000
    double GetDouble(const std::string& name);
    Bytes GetBytes(const std::string& name);  // a byte string, one character per byte
    void PutLong(const std::string& name, LONG value);
    void PutBool(const std::string& name, bool value);
    void PutDate(const std::string& name, DATE value);

  private:
    // The value of `name` changed to `type`.
    void GetAs(const std::string& name, VARTYPE type, VARIANT& out);

    cmd::TCmdDriver calls_;
    TDriverTurns turns_;
};

}  // namespace tessel::tst
