#include "tools/tessel/SavedSettings.h"

#include "tools/tessel/ClientPlatform.h"

namespace tessel::cli {

namespace {

// The logical device, its connection, then the driver's own connection and log settings.
constexpr const char* kSettings[] = {"LDNumber",   "LDName",     "PortNumber", "BaudRate",
                                     "DstAddress", "Fuel",       "SrcAddress", "Timeout",
                                     "RepCount",   "LogEnabled", "LogFileName"};

}  // namespace

void PrintSavedSettings(Session& session) {
    session.Print("# kept in " + SettingsLocation() + " for every later run");
    for (const char* name : kSettings) session.Get(name);
}

}  // namespace tessel::cli
