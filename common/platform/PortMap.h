#pragma once
// The device paths that COM port numbers stand for, kept in the settings store of the current user as the
// string values "COM<N>" of the key "Software\Korvex\TesselDrv\TesselDrv\Ports".

#include <map>
#include <string>

namespace tessel {

inline constexpr const char* kPortsKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Ports";

// "COM<N>".
std::string PortValueName(int portNumber);
// The path stored for COM<N>; empty when none (or an empty one) is stored. Throws RegistryError for a
// damaged store or a value that is not a string.
std::string MappedPortPath(int portNumber);
// Every stored mapping with a port number of 1 to 255 and a path, by number. Values of other names are
// ignored. Throws RegistryError for a damaged store.
std::map<int, std::string> MappedPorts();
// Stores `path` for COM<N>. Throws RegistryError.
void MapPort(int portNumber, const std::string& path);
// Removes the mapping of COM<N>; false when there was none. Throws RegistryError.
bool UnmapPort(int portNumber);

}  // namespace tessel
