#pragma once
// `search`: finds the registers on the chosen ports, speeds and kinds through the search engine, while this
// thread pumps its queue so that the answers (the driver's events) reach the engine.
//
// Each register found is one line on standard output, as it is found:
//   COM<PORT>[=<NETWORK ADDRESS>] <BAUD> <KIND> <ADDRESS> <DESCRIPTION>
// e.g. "COM1 9600 normal 2 Касса 1", "COM5=tcp://10.0.0.7:4001 4800 normal 2 Касса 2"; KIND is normal or
// fuel, the description's control characters are written as \xNN. Progress goes to standard error: the port
// being searched (with its network address), and at the end
// "Found N register(s)" (also after a stop signal, with what was found until then). The driver's connection
// settings (Fuel, BaudRate, SrcAddress, DstAddress, PortNumber) are as they were before the search once it
// ends.

#include <cstddef>
#include <ostream>
#include <string>

#include "driver/search/untSearchECR.h"
#include "driver/search/untSearchParams.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/Session.h"
#include "tools/tessel/StepOptions.h"
#include "tools/tessel/Steps.h"

namespace tessel::cli {

// The saved search parameters with the lists the options give in their place. Throws UsageError naming the
// list that has nothing chosen, tessel::RegistryError for damaged settings.
TSearchParams SearchParamsFor(const SearchOptions& options);

// The output line of one register found.
std::string FoundLine(const TSearchECR& device);

class DeviceSearch {
  public:
    // `progress` receives the progress (standard error); `terminal` whether it is one.
    DeviceSearch(Session& session, MessagePump& pump, std::ostream& progress, bool terminal);

    // Searches (saving the parameters first with --save) until the search ends or a stop signal comes, and
    // returns the number of registers found. Throws as SearchParamsFor does, ESearchError when the driver
    // refuses the engine's event sink, DispatchError when the connection settings cannot be read or
    // restored.
    std::size_t Run(const SearchOptions& options);

  private:
    Session& session_;
    MessagePump& pump_;
    std::ostream& progress_;
    bool terminal_;
};

}  // namespace tessel::cli
