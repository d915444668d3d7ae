#pragma once
// `tables export` and `tables import`: the register's tables to an export file and back, through the table
// transfer engine, with progress on standard error and one summary line on standard output:
//   Exported T table(s), C cell(s) to FILE
//   Imported T table(s), C cell(s) written from FILE[, S cell(s) skipped: not a number within its range]
//
// A device error answers the engine's question with "no" (after --retry repetitions), so the step fails
// with the register's code and text; a stop signal aborts the operation in progress. An export that did not
// finish leaves FILE as it was; an import checks the whole file before it opens the register, so a damaged
// file writes nothing.

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

    // Runs the step. Throws UsageError for a table the register does not have, a missing or damaged import
    // file (EIniProfileError's message names the file and line); StepFailure for a device error, an
    // interruption or an import file that names no table of the register; std::runtime_error (with the
    // file's name) when the export file cannot be written.
    void Run(const TablesOptions& options);

  private:
    void Export(const TablesOptions& options, TECR& ecr, TransferProgress& window, ProgressLine& line);
    void Import(const TablesOptions& options, TECR& ecr, TransferProgress& window, ProgressLine& line);
    // Opens the table list (from the cache or the register); throws StepFailure when it cannot.
    void Open(const TablesOptions& options, TECR& ecr, TransferProgress& window);
    // Throws StepFailure for an operation that returned false.
    [[noreturn]] void Failed(const TablesOptions& options, const TransferProgress& window,
                             const char* consequence);

    Session& session_;
    MessagePump& pump_;
    std::ostream& progress_;
    bool terminal_;
};

}  // namespace tessel::cli
