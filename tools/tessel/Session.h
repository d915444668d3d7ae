#pragma once
// The set, call and get of one tessel run, with the output lines scripts read:
//   METHOD: (CODE) DESCRIPTION     after every call (code and ResultDescription)
//   NAME: (CODE) DESCRIPTION       after a set that left a result other than 0
//   NAME = VALUE                   for every get (ValueText.h gives the forms)
// Names are printed as the user wrote them. A method that yields a code other than 0, and a set that leaves
// one, mark the run failed.

#include <functional>
#include <ostream>
#include <string>

#include "tools/tessel/DispatchDriver.h"

namespace tessel::cli {

class Session {
  public:
    Session(DispatchDriver& driver, std::ostream& out);

    // Writes a property from its text. A write that leaves a result other than 0 (a value the driver
    // refused, a port that did not open) is printed as "NAME: (CODE) DESCRIPTION", marks the run failed and
    // returns false. Throws DispatchError when the driver refuses the name or the value's conversion.
    bool Set(const std::string& name, const std::string& value);
    // Opens the port of the current logical device as DeviceEnabled=true does; a port that does not open is
    // printed as "STEP: (CODE) DESCRIPTION", marks the run failed and returns false.
    bool OpenPort(const std::string& step);
    // Calls a method, prints its result line and returns the code. AboutBox, which yields nothing and leaves
    // the last result, counts as failed only when it changed the result. Throws DispatchError as Set does.
    LONG Call(const std::string& name);
    // As Call, but prints the result line only when the code is not 0.
    LONG CallQuietly(const std::string& name);
    // Reads a property and prints "NAME = VALUE". Throws DispatchError as Set does.
    void Get(const std::string& name);

    // One output line, flushed at once so that a reader sees it as it happens.
    void Print(const std::string& line);

    // Whether some method yielded a code other than 0, or a step counted as failed.
    bool AnyFailed() const { return failed_; }
    // Counts the run as failed without a method's code (a search that found nothing).
    void MarkFailed() { failed_ = true; }
    DispatchDriver& Driver() { return driver_; }

  private:
    LONG Invoke(const std::string& name, bool quiet);
    // Runs `write` and checks the result it leaves, as Set describes; `label` names it in the output.
    bool Write(const std::string& label, const std::function<void()>& write);
    // Sets the result to 0.
    void ClearResult();

    DispatchDriver& driver_;
    std::ostream& out_;
    bool failed_ = false;
};

}  // namespace tessel::cli
