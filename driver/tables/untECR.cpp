#include "driver/tables/untECR.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "common/com/ComText.h"
#include "common/platform/TextFormat.h"
#include "driver/base/untError.h"

namespace {

// The register's answer to a table number beyond its last table: the list is complete.
constexpr LONG kBadTableNumber = 130;
// Table numbers travel in one byte: a device that never answers 130 is not asked beyond this.
constexpr LONG kMaxTableNumber = 0xFF;

// Progress bar maximum of ReadStructure.
constexpr int kStructureBarMax = 10;

int CellTotal(const TTable& table) {
    return table.RowCount * table.FieldCount;  // at most 65535 x 255
}

int ClampToInt(std::int64_t value) {
    return static_cast<int>(std::min<std::int64_t>(value, std::numeric_limits<int>::max()));
}

}  // namespace

// ---- TNotifyThread ----

TNotifyThread::TNotifyThread(std::function<void()> work)
    : thread_([work = std::move(work)] {
          try {
              work();
          } catch (...) {
              // The operation's owner learns of the failure through its result.
          }
      }) {}

TNotifyThread::~TNotifyThread() {
    WaitFor();
}

void TNotifyThread::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

// ---- TECR ----

TECR::TECR(ITesselDriver* driver, std::unique_ptr<IProgressWindow> progress)
    : tables_(std::make_unique<TTables>()), driver_(driver), progress_(std::move(progress)) {
    if (!driver_ || !progress_) throw std::invalid_argument("TECR needs a driver and a progress window");
    calls_ = std::make_unique<TDriverCalls>(driver_.Get());
}

TECR::~TECR() {
    WaitForWorker();
    worker_.reset();
}

void TECR::WaitForWorker() {
    if (worker_) worker_->WaitFor();
}

bool TECR::Open() {
    WaitForWorker();
    const LONG code = calls_->CallForResult(&ITesselDriver::GetECRStatus);
    if (code != 0) throw EDriverError(code, calls_->Get(&ITesselDriver::get_ResultDescription));
    deviceIdText_ = calls_->Get(&ITesselDriver::get_ECRSoftVersion);
    deviceIdNumber_ = static_cast<std::uint16_t>(calls_->Get(&ITesselDriver::get_ECRSoftBuild));
    tables_->DeviceKey = deviceIdText_ + std::to_string(deviceIdNumber_);
    if (tables_->LoadFromRegistry()) return true;
    return ReadStructure();
}

bool TECR::ReadStructure() {
    return Run(
        "Чтение структуры таблиц...", [] { return kStructureBarMax; },
        [this] { return ReadStructureWork(); });
}

bool TECR::ReadFieldStructure(TTable& table) {
    WaitForWorker();
    if (!Holds(table)) return false;
    currentTable_ = &table;
    return Run(
        "Чтение структуры полей...", [&table] { return table.FieldCount; },
        [this, &table] { return ReadFieldStructureWork(table); });
}

bool TECR::ReadTableData(TTable& table) {
    WaitForWorker();
    if (!Holds(table)) return false;
    currentTable_ = &table;
    return Run(
        "Чтение данных таблицы...", [&table] { return CellTotal(table); },
        [this, &table] { return ReadValues(table); });
}

bool TECR::ReadSelected() {
    const auto max = [this] {
        std::int64_t sum = 0;
        for (int i = 0; i < tables_->Count(); ++i) {
            const TTable& table = tables_->Items(i);
            if (!table.Selected) continue;
            sum += CellTotal(table);
            if (!table.StructureComplete()) sum += table.FieldCount;
        }
        return ClampToInt(sum);
    };
    return Run("Чтение таблиц...", max, [this] { return ReadSelectedWork(); });
}

bool TECR::WriteSelected() {
    const auto max = [this] {
        std::int64_t sum = 0;
        for (int i = 0; i < tables_->Count(); ++i)
            if (tables_->Items(i).Selected) sum += CellTotal(tables_->Items(i));
        return ClampToInt(sum);
    };
    return Run("Запись таблиц...", max, [this] { return WriteSelectedWork(); });
}

bool TECR::Holds(const TTable& table) const {
    for (int i = 0; i < tables_->Count(); ++i)
        if (&tables_->Items(i) == &table) return true;
    return false;
}

bool TECR::Run(const std::string& title, const std::function<int()>& max, TOperation operation) {
    WaitForWorker();
    worker_.reset();
    progress_->SetCaption(title);
    progress_->SetMax(max());
    aborted_ = false;
    result_ = false;
    lastError_.clear();
    progress_->SetPosition(0);
    progress_->Prepare();
    worker_ = std::make_unique<TNotifyThread>([this, operation = std::move(operation)] {
        bool result = false;
        try {
            result = operation();
        } catch (const std::exception& e) {
            // A failing interface call, a missing field definition or a refused structure ends the
            // operation; the owner may show why.
            lastError_ = e.what();
        } catch (...) {
            lastError_ = "Неизвестная ошибка";
        }
        result_ = result;
        progress_->Finish();
    });
    progress_->ShowModal([this] { return Abort(); });
    // An abort closes the window while the worker may still be inside a driver call, after which it would
    // still store a value or add a table. It stops before its next step, so the model is handed back once
    // it has ended: the wait lasts at most the call in progress.
    WaitForWorker();
    return !aborted_ && result_;
}

bool TECR::Abort() {
    // The worker stays at its next device step until the question is answered.
    struct THold {
        TECR& ecr;
        explicit THold(TECR& e) : ecr(e) {
            std::lock_guard lock(ecr.holdMutex_);
            ecr.held_ = true;
        }
        ~THold() {
            {
                std::lock_guard lock(ecr.holdMutex_);
                ecr.held_ = false;
            }
            ecr.holdChanged_.notify_all();
        }
    } hold(*this);
    if (!progress_->AskAbort(kAbortQuestion)) return false;
    aborted_ = true;
    return true;
}

// ---- worker thread ----

bool TECR::CanGoOn() {
    std::unique_lock lock(holdMutex_);
    // Ends with the abort question, which the owner thread answers.
    holdChanged_.wait(lock, [this] { return !held_; });
    return !aborted_;
}

bool TECR::AskContinue() {
    // Never two questions at once: an open abort question holds this one, and once the user chose to abort,
    // a failed step ends the operation without another question.
    if (!CanGoOn()) return false;
    const LONG code = calls_->Get(&ITesselDriver::get_ResultCode);
    const std::string description = calls_->Get(&ITesselDriver::get_ResultDescription);
    return progress_->AskContinue(tessel::FormatText(kContinueQuestionFormat, code, description.c_str())) &&
           !aborted_;
}

bool TECR::ReadStructureWork() {
    tables_->Clear();
    bool result = true;
    for (LONG n = 1; n <= kMaxTableNumber;) {
        if (!CanGoOn()) {
            result = false;
            break;
        }
        calls_->Put(&ITesselDriver::put_TableNumber, n);
        const LONG code = calls_->CallForResult(&ITesselDriver::GetTableStruct);
        if (code == 0) {
            std::string name = calls_->Get(&ITesselDriver::get_TableName);
            const LONG rows = calls_->Get(&ITesselDriver::get_RowCount);
            const LONG fields = calls_->Get(&ITesselDriver::get_FieldCount);
            progress_->SetInfo(TProgressLine::Info, tessel::FormatText("Прочитано таблиц: %d", n));
            progress_->SetPosition(n);
            tables_->Add(std::move(name), n, rows, fields).LoadFieldDefs();
            ++n;
        } else if (code == kBadTableNumber) {
            break;
        } else if (!AskContinue()) {
            result = false;
            break;
        }
    }
    if (result) tables_->SaveToRegistry();
    return result;
}

bool TECR::ReadFieldStructureWork(TTable& table) {
    progress_->SetInfo(TProgressLine::Info2, "Чтение структуры полей");
    TFieldDefs& defs = table.FieldDefs();
    defs.Clear();
    for (LONG i = 1; i <= table.FieldCount;) {
        if (!CanGoOn()) return false;
        calls_->Put(&ITesselDriver::put_TableNumber, table.Number);
        calls_->Put(&ITesselDriver::put_FieldNumber, i);
        const LONG code = calls_->CallForResult(&ITesselDriver::GetFieldStruct);
        if (code != 0) {
            if (!AskContinue()) return false;
            continue;
        }
        TFieldDef def;
        def.Name = calls_->Get(&ITesselDriver::get_FieldName);
        def.Size = calls_->Get(&ITesselDriver::get_FieldSize);
        def.TableNumber = table.Number;
        def.Number = i;
        def.MinValue = calls_->Get(&ITesselDriver::get_FieldMinValue);
        def.MaxValue = calls_->Get(&ITesselDriver::get_FieldMaxValue);
        def.FieldType = calls_->Get(&ITesselDriver::get_FieldType);
        defs.Add(std::move(def));
        progress_->SetInfo(TProgressLine::Info3, tessel::FormatText("Полей всего: %d Прочитано: %d",
                                                                    table.FieldCount, defs.Count()));
        progress_->StepIt();
        ++i;
    }
    return true;
}

bool TECR::EnsureStructure(TTable& table) {
    if (table.StructureComplete()) return true;
    if (!ReadFieldStructureWork(table)) return false;
    table.SaveFieldDefs();
    return true;
}

bool TECR::ReadValues(TTable& table) {
    progress_->SetInfo(TProgressLine::Info2, "Чтение значений полей");
    TFields& cells = table.Fields();
    for (int k = 0; k < cells.Count();) {
        if (!CanGoOn()) return false;
        TField& cell = cells.Items(k);
        calls_->Put(&ITesselDriver::put_TableNumber, cell.TableNumber);
        calls_->Put(&ITesselDriver::put_RowNumber, cell.Row);
        calls_->Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
        if (calls_->CallForResult(&ITesselDriver::ReadTable) == 0) {
            cell.SetValue(calls_->Get(&ITesselDriver::get_FieldValue));
            ++k;
        } else if (!AskContinue()) {
            return false;
        }
        progress_->SetInfo(TProgressLine::Info3,
                           tessel::FormatText("Полей всего: %d прочитано: %d", CellTotal(table), k));
        progress_->StepIt();
    }
    return true;
}

bool TECR::ReadSelectedWork() {
    for (int i = 0; i < tables_->Count(); ++i) {
        TTable& table = tables_->Items(i);
        if (!table.Selected) continue;
        progress_->SetInfo(TProgressLine::Info2, "");
        progress_->SetInfo(TProgressLine::Info,
                           tessel::FormatText("Чтение таблицы '%s'", table.Name.c_str()));
        if (!EnsureStructure(table) || !ReadValues(table)) return false;
    }
    return true;
}

bool TECR::WriteSelectedWork() {
    for (int i = 0; i < tables_->Count(); ++i) {
        TTable& table = tables_->Items(i);
        if (!table.Selected) continue;
        progress_->SetInfo(TProgressLine::Info2, "");
        progress_->SetInfo(TProgressLine::Info,
                           tessel::FormatText("Запись таблицы '%s'", table.Name.c_str()));
        if (!EnsureStructure(table)) return false;
        DropInvalidNumbers(table);
        if (!WriteCells(table)) return false;
    }
    return true;
}

void TECR::DropInvalidNumbers(TTable& table) {
    // A cell never made carries no mark.
    table.Fields().ForEachMade([&](TField& cell) {
        if (!cell.Modified) return;
        const TFieldDef& def = table.FieldDefOf(cell);
        if (def.FieldType != ftInt) return;
        std::int32_t number = 0;
        if (!TryParseInt32(cell.Value(), number) || number < def.MinValue || number > def.MaxValue)
            cell.Modified = false;
    });
}

bool TECR::WriteCells(TTable& table) {
    progress_->SetInfo(TProgressLine::Info2, "Запись значений полей");
    TFields& cells = table.Fields();
    for (int k = 0; k < cells.Count();) {
        if (!CanGoOn()) return false;
        // Only a cell that was made can carry the mark: the others are passed without being made.
        if (TField* made = cells.Made(k); made != nullptr && made->Modified) {
            TField& cell = *made;
            const TFieldDef& def = table.FieldDefOf(cell);
            calls_->Put(&ITesselDriver::put_TableNumber, cell.TableNumber);
            calls_->Put(&ITesselDriver::put_RowNumber, cell.Row);
            calls_->Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
            calls_->Put(&ITesselDriver::put_FieldValue, cell.Value());
            calls_->Put(&ITesselDriver::put_FieldType, def.FieldType);
            if (calls_->CallForResult(&ITesselDriver::WriteTable) != 0) {
                if (!AskContinue()) return false;
                continue;
            }
        }
        ++k;
        progress_->SetInfo(TProgressLine::Info3,
                           tessel::FormatText("Полей всего: %d записано: %d", CellTotal(table), k));
        progress_->StepIt();
    }
    return true;
}
