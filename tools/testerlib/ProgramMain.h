#pragma once
// What both test programs do around their main window: SIGINT and SIGTERM close the windows as the user
// would (taken before any thread starts, the display probe's included, so that every thread leaves them to
// a descriptor); the platform chosen so that a display that cannot be opened is said in words rather than
// ending the process; the application object with Qt's own texts in Russian; and the bridge that delivers the
// driver's events on this thread from Qt's loop.

#include <functional>

namespace tessel::cmd {

// Sets all that up for the program `name` and returns what `run` returns: it makes and shows the main
// window and runs the application's loop. 1 when no display can serve.
int RunProgram(int argc, char** argv, const char* name, const std::function<int()>& run);

}  // namespace tessel::cmd
