#pragma once
// `tessel report FILE`: a support bundle in one archive (tar) that a shop sends to its support desk:
//   versions.txt   tessel's version, the registered driver and its version
//   settings.txt   the driver's settings of this user (the whole Korvex key of the settings store)
//   ports.txt      the serial devices and the COM numbers that reach them (tessel ports)
//   stats.txt, stats.json   the line statistics (tessel stats)
//   doctor.txt     what tessel doctor says
//   log.txt        the last part of the driver's log, with the values of table writes (1Eh) and table
//                  reads (1Fh answers) masked in its frames, checksums included: a table holds the
//                  cashiers' passwords
// The archive is written whole or not at all, readable by its owner only.

#include <ostream>
#include <string>
#include <vector>

namespace tessel::cli {

// Carries out `tessel report ARGS...` (the words after "report"): one FILE, or "--help". Returns the exit
// status: 0 written, 1 the archive could not be written, 2 a usage mistake.
int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The lines of a log with the value bytes of table writes and table reads replaced by "**" in every frame
// logged ("COMn -> ...", "COMn <- ..." with frames that may span lines, and the unstuffed frames of the
// driver's drop messages), their checksums too. Other lines are as they were.
std::string MaskTableValues(const std::string& log);

// A tar (ustar) archive of the named files, each readable by its owner.
std::string TarArchive(const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace tessel::cli
