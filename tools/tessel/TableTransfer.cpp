#include "tools/tessel/TableTransfer.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "driver/base/untError.h"
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

// The selected tables that have cells, and their cells marked to be written (a load selects only the first
// table of a name).
Counts CountMarked(const TTables& tables) {
    Counts counts;
    for (int i = 0; i < tables.Count(); ++i) {
        const TTable& table = tables.Items(i);
        if (!table.Selected || table.Fields().Count() == 0) continue;
        ++counts.tables;
        table.Fields().ForEachMade([&](const TField& cell) {
            if (cell.Modified) ++counts.cells;
        });
    }
    return counts;
}

std::string TableLabel(const TTable& table) {
    return "table " + std::to_string(table.Number) + " [" + table.Name + "]";
}

std::string LineNumbers(const std::vector<int>& lines) {
    std::string list;
    for (const int line : lines) list += (list.empty() ? "" : ", ") + std::to_string(line);
    return list;
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

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

const char* FaultText(TIniFault fault) {
    switch (fault) {
        case TIniFault::BadCharacter:
            return "a NUL character";
        case TIniFault::UnclosedSection:
            return "a section header without its closing ]";
        case TIniFault::KeyOutsideSection:
            return "a cell before the first section";
        case TIniFault::EmptyKey:
            return "a line starting with =";
    }
    return "a damaged line";
}

// The import file checked whole before the register is touched. Throws UsageError for a missing, damaged
// or UTF-8 file.
TIniProfile CheckImportFile(const TablesOptions& options) {
    std::string bytes;
    try {
        if (!ReadWholeFile(options.file, bytes))
            throw UsageError(StepName(options) + "cannot read the file: no such file");
    } catch (const std::system_error& e) {
        throw UsageError(StepName(options) + "cannot read the file: " + ErrorText(e.code().value()));
    }
    // Read as Windows-1251, a UTF-8 file would give section names no table has, and garbled values.
    if (LooksLikeUtf8(bytes)) {
        throw UsageError(StepName(options) +
                         "the file is UTF-8; export files are Windows-1251 (iconv -f UTF-8 -t WINDOWS-1251 "
                         "converts it)");
    }
    try {
        return TIniProfile::Parse(Cp1251ToUtf8(bytes), options.file);
    } catch (const EIniProfileError& e) {
        throw UsageError(StepName(options) + "line " + std::to_string(e.Line()) + ": " +
                         FaultText(e.Fault()) + "; nothing written");
    }
}

// Throws UsageError when FILE cannot be written (its folder is missing or closed to this user, or FILE is a
// folder), so that an export does not read the whole register first. The file is written as a new file in
// the same folder that then replaces it; this makes and removes one such file.
void CheckWritable(const TablesOptions& options) {
    namespace fs = std::filesystem;
    const fs::path path(options.file);
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw UsageError(StepName(options) + "cannot write the file: it is a folder");
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // A name of its own beside the file (the clock's count), removed at once.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path probe = folder / ("." + path.filename().string() + "." + std::to_string(stamp));
    errno = 0;
    if (!std::ofstream(probe, std::ios::binary)) {
        throw UsageError(StepName(options) +
                         "cannot write the file: " + ErrorText(errno != 0 ? errno : EACCES));
    }
    fs::remove(probe, ec);
}

// The register's tables for messages: "1 [Общие параметры], 2 [...]".
std::string TableList(const TTables& tables) {
    std::string list;
    for (int i = 0; i < tables.Count(); ++i) {
        if (!list.empty()) list += ", ";
        list += std::to_string(tables.Items(i).Number) + " [" + tables.Items(i).Name + "]";
    }
    return list.empty() ? "none" : list;
}

}  // namespace

TableTransfer::TableTransfer(Session& session, MessagePump& pump, std::ostream& progress, bool terminal)
    : session_(session), pump_(pump), progress_(progress), terminal_(terminal) {}

bool TableTransfer::Run(const TablesOptions& options) {
    std::optional<TIniProfile> importFile;
    if (options.action == TablesAction::Import) {
        importFile = CheckImportFile(options);
    } else {
        CheckWritable(options);
    }

    // The line outlives the engine, whose worker reports to it until the engine has waited for it.
    ProgressLine line(progress_, ProgressLine::ModeFor(terminal_, options.quiet),
                      ProgressLine::StderrWidth());
    auto owned = std::make_unique<TransferProgress>(pump_, line, options.retries);
    TransferProgress& window = *owned;
    const auto driver = session_.Driver().Interface();
    TECR ecr(driver.Get(), std::move(owned));

    Open(options, ecr, window);
    bool whole = true;
    if (options.action == TablesAction::Export) {
        whole = Export(options, ecr, window, line);
    } else {
        // A file made for another register would write only part of itself: it does not fit.
        std::string unknown;
        for (const std::string& section : importFile->SectionNames()) {
            if (ecr.Tables().FindByName(section) == nullptr)
                unknown += (unknown.empty() ? "[" : ", [") + section + "]";
        }
        if (!unknown.empty() || importFile->SectionNames().empty()) {
            throw UsageError(StepName(options) + "the register has no table " +
                             (unknown.empty() ? std::string("for a file without sections") : unknown) +
                             " (its tables: " + TableList(ecr.Tables()) + "); nothing written");
        }
        if (const std::vector<int>& skipped = importFile->SkippedLines(); !skipped.empty()) {
            line.Line("tessel: " + StepName(options) + std::to_string(skipped.size()) +
                      " line(s) without \"=\" skipped: " + LineNumbers(skipped));
        }
        Import(options, ecr, window, line);
    }
    line.Clear();
    return whole;
}

void TableTransfer::Open(const TablesOptions& options, TECR& ecr, TransferProgress& window) {
    bool opened = false;
    try {
        opened = ecr.Open();
    } catch (const EDriverError& e) {
        throw StepFailure(StepName(options) + "(" + std::to_string(e.ErrorCode()) + ") " + e.what() +
                          "; nothing " + (options.action == TablesAction::Export ? "read" : "written"));
    }
    if (!opened) {
        Failed(options, ecr, window,
               options.action == TablesAction::Export ? "the table list is not read; the file is not written"
                                                      : "the table list is not read; nothing written");
    }
}

bool TableTransfer::Export(const TablesOptions& options, TECR& ecr, TransferProgress& window,
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
    if (!ecr.ReadSelected()) Failed(options, ecr, window, "the file is not written");
    const TExportResult result = tables.SaveToFile(options.file);
    // A table left out is missing from the backup: the step fails, the file keeps what it could.
    for (const TExportResult::TLeftOut& out : result.LeftOut) {
        line.Line("tessel: " + StepName(options) + TableLabel(*out.Table) +
                  " is not written: its section would be that of " +
                  (out.Holder != nullptr ? TableLabel(*out.Holder) : std::string("another table")));
        session_.MarkFailed();
    }
    long long cells = 0;
    for (const TTable* table : result.Written) {
        cells += table->Fields().Count();
        if (const TTable* first = tables.FindByName(table->Name); first != table) {
            line.Line("tessel: " + StepName(options) + TableLabel(*table) + " shares its name with " +
                      TableLabel(*first) + ", to which an import gives its section");
        }
    }
    line.Clear();
    session_.Print("Exported " + std::to_string(result.Written.size()) + " table(s), " +
                   std::to_string(cells) + " cell(s) to " + options.file);
    return result.LeftOut.empty();
}

void TableTransfer::Import(const TablesOptions& options, TECR& ecr, TransferProgress& window,
                           ProgressLine& line) {
    TTables& tables = ecr.Tables();
    tables.LoadFromFile(options.file);
    // Sections that name no table are passed over by the load; a file that names none restores nothing,
    // which must not pass for a restore.
    if (!tables.HasSelected()) {
        throw UsageError(StepName(options) + "the file names no table of the register; nothing written");
    }
    const Counts marked = CountMarked(tables);
    if (!ecr.WriteSelected()) Failed(options, ecr, window, "the register may hold part of the file");
    // The engine unmarks the numbers it refused to write; the marks of the written cells stay.
    const Counts written = CountMarked(tables);
    std::string summary = "Imported " + std::to_string(written.tables) + " table(s), " +
                          std::to_string(written.cells) + " cell(s) written from " + options.file;
    if (const long long skipped = marked.cells - written.cells; skipped > 0) {
        summary += ", " + std::to_string(skipped) + " cell(s) skipped: not a number within its range";
    }
    line.Clear();
    session_.Print(summary);
}

void TableTransfer::Failed(const TablesOptions& options, const TECR& ecr, const TransferProgress& window,
                           const char* consequence) {
    std::string reason = window.LastError();
    if (window.Interrupted()) {
        reason = "interrupted";
    } else if (reason.empty() && !ecr.LastError().empty()) {
        reason = ecr.LastError();
    } else if (reason.empty()) {
        reason = "the transfer stopped on a failed call of the driver";
    }
    throw StepFailure(StepName(options) + reason + "; " + consequence);
}

}  // namespace tessel::cli
