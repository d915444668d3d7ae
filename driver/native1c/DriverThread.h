#pragma once
// The component's thread for the driver's events.
//
// The platform calls the component on a thread of its own, which never pumps the driver's message queue; the
// driver announces a register's request on the thread that created the first driver object of the process,
// when that thread pumps. So the component keeps one thread of its own that creates the process's first
// driver object (the engine, and with it the command window, live there), pumps its queue while any
// component object lives, and releases that object last, so that the engine ends on its own thread.
// Component objects make their driver objects on the platform's thread: they join the same engine, whose
// events still reach them on this thread.

#include <memory>
#include <mutex>
#include <string>

class TDriverThread;

// A component object's hold on the driver thread: the first starts it, the last stops it.
class TDriverThreadLease {
  public:
    // Starts the thread when no lease holds it, and waits until its driver object is made. Throws
    // std::runtime_error with the driver's message when the object cannot be made, or when it is not made
    // within the start bound.
    TDriverThreadLease();
    // The last lease asks the thread to end and waits for it: its driver object is released there, after
    // every other (the component objects' go first).
    ~TDriverThreadLease();
    TDriverThreadLease(const TDriverThreadLease&) = delete;
    TDriverThreadLease& operator=(const TDriverThreadLease&) = delete;
};
