#pragma once
// `tessel doctor`: checks, in order, what a register needs to work with this driver and says in plain words
// what it found and what to do:
//   the driver is registered and loads; for every logical device, its port exists (and which device the COM
//   number reaches), the user may open it, no other program holds it (nor ModemManager), the register
//   answers at the saved settings (else a short search over the speeds says where it answers); the log's
//   place and size; the line statistics' warning signs.
// Each finding is one line "ok    ..." , "FAIL  ..." or "warn  ..." naming the cause, a failure or warning
// followed by "      -> what to do". The driver's settings are as they were when it ends.

#include <ostream>

namespace tessel::cli {

// Runs the checks, prints the findings to `out` and returns the exit status: 0 when all is well, 1 when a
// check failed or warned.
int RunDoctor(std::ostream& out);

}  // namespace tessel::cli
