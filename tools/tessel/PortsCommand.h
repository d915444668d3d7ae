#pragma once
// `tessel ports`: the serial devices of the system with the COM numbers that reach them, and the mapping of
// COM numbers to device paths in the settings store. It does not create the driver.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tessel/SerialPorts.h"

namespace tessel::cli {

// Carries out `tessel ports ARGS...` (the words after "ports"): no words lists, "map N PATH" and "unmap N"
// change the mapping, "udev-rule [PATH...]" prints the udev rule that keeps ModemManager away from the
// mapped (and named) USB adapters, "--help" explains. Returns the exit status: 0 done, 1 the settings store
// failed, 2 a usage mistake.
int RunPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const SerialRoots& roots = {});

std::string_view PortsHelpText();

}  // namespace tessel::cli
