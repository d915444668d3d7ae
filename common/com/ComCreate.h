#pragma once
// Class creation: CLSIDFromProgID, CoGetClassObject, CoCreateInstance and the apartment calls: the system's
// (see ComTypes.h for where they come from). On Linux they read the registration from the HKEY_CLASSES_ROOT
// hive of the settings store and load the registered library.

#include <string>

#include "common/com/ComInterfaces.h"

#include "SystemCreate.h"

namespace tessel {

// Why the calling thread's last CoGetClassObject / CoCreateInstance failed, for messages to the user (the
// loader's own text, the registry key that was missing); empty after a success, and always empty on Windows,
// where the result code is all the system tells.
std::string LastClassCreationError();

}  // namespace tessel
