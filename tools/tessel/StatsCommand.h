#pragma once
// `tessel stats`: the line statistics that every engine of the user keeps, read from their file while the
// engines run, as text or JSON; `--reset` zeroes them. It does not create the driver.

#include <ostream>
#include <string>
#include <vector>

#include "driver/engine/untLineStats.h"

namespace tessel::cli {

// The statistics file of the driver as registered for this user: beside the counters.
std::string DefaultStatsFile();

// Carries out `tessel stats ARGS...` (the words after "stats"): no words prints the statistics, "--json"
// prints them as one JSON object, "--reset" zeroes them, "--help" explains. Returns the exit status: 0 done,
// 1 the file could not be read or reset, 2 a usage mistake.
int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const std::string& file = DefaultStatsFile());

// The statistics as text, one block per port and peer; `file` is named in the first line.
void PrintStats(const TLineStatsSnapshot& stats, const std::string& file, std::ostream& out);
void PrintStatsJson(const TLineStatsSnapshot& stats, const std::string& file, std::ostream& out);

// What in the statistics of one peer points at a fault, one plain sentence each (empty when nothing does).
std::vector<std::string> StatsWarnings(const TLineRecord& record);

}  // namespace tessel::cli
