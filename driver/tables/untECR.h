#pragma once
// TECR: moves table structures and contents between the register and the table model. It reaches the device
// only through the driver's own automation interface, as an outside client would: every device step sets the
// input properties, calls one method and reads ResultCode (a method's own return value is not used).
//
// Long operations run on a worker thread while the owner thread waits in the progress window's modal wait.
// A device step that fails asks whether to go on: Yes repeats the same step, No ends the operation with
// false. "Прервать" asks whether to abort; Yes closes the window at once and the worker stops before its next
// device step; the operation returns once the worker has ended. One operation runs at a time.
//
// Threads: every public member is for the owner thread. The table model is changed by the worker while an
// operation runs (see untTables.h); the owner reads it when the operation has returned. Every operation,
// an aborted one too, returns only once its worker has ended, so nothing changes the model (or fires
// OnAdd and OnChange) after that.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/com/ComPtr.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/client/DriverCalls.h"
#include "driver/tables/untProgress.h"
#include "driver/tables/untTables.h"

// A thread that runs one piece of work once, starting at creation. An exception escaping the work is caught
// and dropped. Destruction waits for the work to end.
class TNotifyThread {
  public:
    explicit TNotifyThread(std::function<void()> work);
    ~TNotifyThread();
    TNotifyThread(const TNotifyThread&) = delete;
    TNotifyThread& operator=(const TNotifyThread&) = delete;

    // Waits for the work to end; idempotent.
    void WaitFor();

  private:
    std::thread thread_;
};

class TECR {
  public:
    // Keeps a reference to `driver` and owns `progress`. Throws std::invalid_argument for a null one.
    TECR(ITesselDriver* driver, std::unique_ptr<IProgressWindow> progress);
    // Waits for the worker to end, then frees it, the tables and the progress window.
    ~TECR();
    TECR(const TECR&) = delete;
    TECR& operator=(const TECR&) = delete;

    TTables& Tables() const { return *tables_; }
    IProgressWindow& Progress() const { return *progress_; }
    // The table the last one-table operation worked on, or null.
    TTable* CurrentTable() const { return currentTable_; }
    bool Aborted() const { return aborted_; }
    // What ended the last operation inside its worker when it threw (a failing interface call, a structure
    // beyond what the model takes); empty otherwise.
    const std::string& LastError() const { return lastError_; }
    // The device key's parts, read by Open: ECRSoftVersion and ECRSoftBuild.
    const std::string& DeviceIdText() const { return deviceIdText_; }
    std::uint16_t DeviceIdNumber() const { return deviceIdNumber_; }

    // Asks GetECRStatus (on this thread), names the tables' DeviceKey "%s%d" of the device's software version
    // and build, then takes the table list from the cache, or else from the device (ReadStructure). Throws
    // EDriverError with the device's code and description when GetECRStatus fails, and what a failing
    // interface call throws.
    bool Open();
    // Each operation below returns false when it was aborted, a failed step was given up, or something
    // inside the worker threw (a failing interface call, an impossible table size).
    //
    // Reads the list of tables (until the device answers 130 for a table number, or up to table 255, the last
    // number a request carries), each table taking its cached field definitions, and caches the list when
    // complete.
    bool ReadStructure();
    // Reads the field definitions of `table`; false at once for a table that is not one of Tables().
    bool ReadFieldStructure(TTable& table);
    // Reads every value of `table`; false at once for a table that is not one of Tables().
    bool ReadTableData(TTable& table);
    // Reads the structure where incomplete (caching it) and every value of each Selected table.
    bool ReadSelected();
    // Writes the Modified cells of each Selected table, after reading its structure where incomplete. A
    // Modified number that is not an integer within its field's range is not written and loses the mark.
    bool WriteSelected();

    // The handler of "Прервать" (owner thread, during the modal wait): holds the worker at its next device
    // step while it asks kAbortQuestion; on Yes sets Aborted. True when the window is to close.
    bool Abort();
    // Waits for the worker of the last operation to end (it already has once an operation returned).
    void WaitForWorker();

  private:
    using TOperation = std::function<bool()>;

    // Runs `operation` on a new worker and waits in the progress window; `max` is taken once the previous
    // worker has ended, since it is computed from the tables that worker may still be changing.
    bool Run(const std::string& title, const std::function<int()>& max, TOperation operation);
    // Whether `table` is still one of Tables() (a finished worker may have replaced the list).
    bool Holds(const TTable& table) const;

    // ---- worker thread ----
    // Waits while the abort question is open; false when the operation is to stop.
    bool CanGoOn();
    // The error question for the last failed step, asked once no abort question is open; false (no question)
    // once the operation is aborted.
    bool AskContinue();
    bool ReadStructureWork();
    bool ReadFieldStructureWork(TTable& table);
    bool EnsureStructure(TTable& table);
    bool ReadValues(TTable& table);
    bool ReadSelectedWork();
    bool WriteSelectedWork();
    // Clears the mark of Modified numbers that do not parse or lie outside their field's range.
    void DropInvalidNumbers(TTable& table);
    bool WriteCells(TTable& table);

    TTable* currentTable_ = nullptr;
    std::unique_ptr<TNotifyThread> worker_;
    std::unique_ptr<TTables> tables_;
    std::atomic<bool> aborted_{false};
    tessel::ComPtr<ITesselDriver> driver_;
    std::unique_ptr<TDriverCalls> calls_;
    std::unique_ptr<IProgressWindow> progress_;
    std::atomic<bool> result_{false};
    std::string lastError_;  // written by the worker, read once it has ended
    std::uint16_t deviceIdNumber_ = 0;
    std::string deviceIdText_;

    // The hold of the worker while the abort question is open.
    std::mutex holdMutex_;
    std::condition_variable holdChanged_;
    bool held_ = false;
};
