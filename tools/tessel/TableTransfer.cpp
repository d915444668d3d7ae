#include "tools/tessel/TableTransfer.h"

#include <memory>
#include <optional>

#include "driver/engine/untError.h"
#include "driver/tables/untECR.h"
#include "driver/tables/untIniProfile.h"
#include "tools/tessel/ProgressLine.h"
#include "tools/tessel/TransferProgress.h"

namespace tessel::cli {

namespace {

struct Counts {
    int tables = 0;
    long long cells = 0;
};

// The selected tables that have cells, and their cells; `modifiedOnly` counts only the cells marked to be
// written. A table that repeats an earlier one's name is left out, as the export file leaves it out.
Counts CountSelected(const TTables& tables, bool modifiedOnly) {
    Counts counts;
    for (int i = 0; i < tables.Count(); ++i) {
        const TTable& table = tables.Items(i);
        if (!table.Selected || table.Fields().Count() == 0 || tables.FindByName(table.Name) != &table)
            continue;
        ++counts.tables;
        for (int k = 0; k < table.Fields().Count(); ++k)
            if (!modifiedOnly || table.Fields().Items(k).Modified) ++counts.cells;
    }
    return counts;
}

std::string StepName(const TablesOptions& options) {
    return std::string(options.action == TablesAction::Export ? "tables export " : "tables import ") +
           options.file + ": ";
}

std::string TableNumbers(const TTables& tables) {
    std::string list;
    for (int i = 0; i < tables.Count(); ++i) {
        if (!list.empty()) list += ", ";
        list += std::to_string(tables.Items(i).Number);
    }
    return list.empty() ? "none" : list;
}

// The import file checked whole before the register is touched. Throws UsageError for a missing or damaged
// file.
TIniProfile CheckImportFile(const TablesOptions& options) {
    std::optional<TIniProfile> profile;
    try {
        profile = TIniProfile::LoadCp1251File(options.file);
    } catch (const std::exception& e) {
        throw UsageError(StepName(options) + e.what());
    }
    if (!profile) throw UsageError(StepName(options) + "cannot read the file: no such file");
    return std::move(*profile);
}

}  // namespace

TableTransfer::TableTransfer(Session& session, MessagePump& pump, std::ostream& progress, bool terminal)
    : session_(session), pump_(pump), progress_(progress), terminal_(terminal) {}

void TableTransfer::Run(const TablesOptions& options) {
    std::optional<TIniProfile> importFile;
    if (options.action == TablesAction::Import) importFile = CheckImportFile(options);

    // The line outlives the engine, whose worker reports to it until the engine has waited for it.
    ProgressLine line(progress_, terminal_ && !options.quiet, ProgressLine::StderrWidth());
    auto owned = std::make_unique<TransferProgress>(pump_, line, options.retries);
    TransferProgress& window = *owned;
    const auto driver = session_.Driver().Interface();
    TECR ecr(driver.Get(), std::move(owned));

    Open(options, ecr, window);
    if (options.action == TablesAction::Export) {
        Export(options, ecr, window, line);
    } else {
        for (const std::string& section : importFile->SectionNames()) {
            if (ecr.Tables().FindByName(section) == nullptr) {
                line.Line("tessel: " + StepName(options) + "section [" + section +
                          "] names no table of the register; skipped");
            }
        }
        Import(options, ecr, window, line);
    }
    line.Clear();
}

void TableTransfer::Open(const TablesOptions& options, TECR& ecr, TransferProgress& window) {
    bool opened = false;
    try {
        opened = ecr.Open();
    } catch (const EDriverError& e) {
        throw StepFailure(StepName(options) + "Ошибка: (" + std::to_string(e.ErrorCode()) + ") " + e.what() +
                          "; nothing " + (options.action == TablesAction::Export ? "read" : "written"));
    }
    if (!opened) {
        Failed(options, window,
               options.action == TablesAction::Export ? "the table list is not read; the file is not written"
                                                      : "the table list is not read; nothing written");
    }
}

void TableTransfer::Export(const TablesOptions& options, TECR& ecr, TransferProgress& window,
                           ProgressLine& line) {
    TTables& tables = ecr.Tables();
    if (!options.tables.empty()) {
        tables.ClearSelection();
        for (const std::int32_t number : options.tables) {
            TTable* table = tables.FindByNumber(number);
            if (table == nullptr) {
                throw UsageError(StepName(options) + "the register has no table " + std::to_string(number) +
                                 " (its tables: " + TableNumbers(tables) + ")");
            }
            table->Selected = true;
        }
    }
    // An export cut short must not replace a good backup with part of one.
    if (!ecr.ReadSelected()) Failed(options, window, "the file is not written");
    tables.SaveToFile(options.file);
    const Counts done = CountSelected(tables, false);
    line.Clear();
    session_.Print("Exported " + std::to_string(done.tables) + " table(s), " + std::to_string(done.cells) +
                   " cell(s) to " + options.file);
}

void TableTransfer::Import(const TablesOptions& options, TECR& ecr, TransferProgress& window,
                           ProgressLine& line) {
    TTables& tables = ecr.Tables();
    tables.LoadFromFile(options.file);
    // Sections that name no table are passed over by the load; a file that names none restores nothing,
    // which must not pass for a restore.
    if (!tables.HasSelected()) {
        throw StepFailure(StepName(options) + "the file names no table of the register; nothing written");
    }
    const Counts marked = CountSelected(tables, true);
    if (!ecr.WriteSelected()) Failed(options, window, "the register may hold part of the file");
    // The engine unmarks the numbers it refused to write; the marks of the written cells stay.
    const Counts written = CountSelected(tables, true);
    std::string summary = "Imported " + std::to_string(written.tables) + " table(s), " +
                          std::to_string(written.cells) + " cell(s) written from " + options.file;
    if (const long long skipped = marked.cells - written.cells; skipped > 0) {
        summary += ", " + std::to_string(skipped) + " cell(s) skipped: not a number within its range";
    }
    line.Clear();
    session_.Print(summary);
}

void TableTransfer::Failed(const TablesOptions& options, const TransferProgress& window,
                           const char* consequence) {
    std::string reason = window.LastError();
    if (window.Interrupted()) {
        reason = "interrupted";
    } else if (reason.empty()) {
        reason = "the transfer stopped on a failed call of the driver";
    }
    throw StepFailure(StepName(options) + reason + "; " + consequence);
}

}  // namespace tessel::cli
