#pragma once
// `tables export` and `tables import`: the register's tables to an export file and back, through the table
// transfer engine, with progress on standard error and one summary line on standard output:
//   Exported T table(s), C cell(s) to FILE
//   Imported T table(s), C cell(s) written from FILE[, S cell(s) skipped: not a number within its range]
//
// A device error answers the engine's question with "no" (after --retry repetitions), so the step fails
// with the register's code and text; a stop signal aborts the operation in progress. An export checks first
// that FILE can be written, and one that did not finish leaves FILE as it was. An import checks the whole
// file before it writes anything: a damaged file, a UTF-8 one, or one naming a table the register lacks
// writes nothing. Warnings go to standard error: a table an export leaves out because an earlier written
// table holds its section (the step then fails), a written table whose name an earlier table shares (an
// import gives its section to that one), the lines without "=" an import skips.

#include <ostream>

#include "tools/tessel/MessagePump.h"
#include "tools/tessel/Session.h"
#include "tools/tessel/StepOptions.h"
#include "tools/tessel/Steps.h"

class TECR;

namespace tessel::cli {

class ProgressLine;
class TransferProgress;

class TableTransfer {
  public:
    // `progress` receives the progress and the warnings (standard error); `terminal` whether it is one.
    TableTransfer(Session& session, MessagePump& pump, std::ostream& progress, bool terminal);

    // Runs the step; false when an export left a table out. Throws UsageError for an export file that
    // cannot be written, a table the register does not have, an import file that is missing, damaged,
    // UTF-8 or names a table the register lacks; StepFailure for a device error or an interruption;
    // std::runtime_error (with the file's name) when writing the export file fails.
    bool Run(const TablesOptions& options);

  private:
    bool Export(const TablesOptions& options, TECR& ecr, TransferProgress& window, ProgressLine& line);
    void Import(const TablesOptions& options, TECR& ecr, TransferProgress& window, ProgressLine& line);
    // Opens the table list (from the cache or the register); throws StepFailure when it cannot.
    void Open(const TablesOptions& options, TECR& ecr, TransferProgress& window);
    // Throws StepFailure for an operation that returned false.
    [[noreturn]] void Failed(const TablesOptions& options, const TECR& ecr, const TransferProgress& window,
                             const char* consequence);

    Session& session_;
    MessagePump& pump_;
    std::ostream& progress_;
    bool terminal_;
};

}  // namespace tessel::cli
