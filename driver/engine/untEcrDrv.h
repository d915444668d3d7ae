#pragma once
// The driver engine: one per process. It holds every parameter and answer value of the automation
// interface, the current command, the received commands and the answers kept for repetition, the logical
// devices, the sequence counters, the log and the command window; it runs each operation and leaves its
// outcome in ResultCode and ResultDescription; and it receives the frames of every logical device,
// answers repeated and out-of-sequence requests by itself and announces the rest.
//
// Threads: every operation runs on the thread that created the engine, one at a time (the engine takes no
// lock around operations). Port threads run the receive handler; announcements reach the creating thread
// through its message queue and are delivered only when that thread pumps it.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/platform/Bytes.h"
#include "common/platform/SyncObjects.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/engine/untCmdWnd.h"
#include "driver/engine/untCounter.h"
#include "driver/engine/untDevice.h"
#include "driver/engine/untLogFile.h"
#include "driver/link/untCommand.h"

class TEcrDrv : public TECRDrvData {
  public:
    // Announces a received command (engine thread).
    using TCommandEvent = std::function<void(TEcrDrv& engine, std::int32_t commandID)>;

    struct TOptions {
        // Where the counters files live; empty: the directory of the registered driver library, else the
        // settings folder.
        std::string CountersDirectory;
        // Makes the ports of logical devices; empty: real serial ports.
        TDevices::PortFactory PortFactory;
    };

    // Creates the log, the counters, the command window (on the calling thread), the lists and the devices;
    // reads the settings and loads the logical devices (a failure there is logged). Throws when the
    // counters file cannot be opened or the command window cannot be made.
    explicit TEcrDrv(TOptions options = {});
    // Writes the settings and the logical devices, then closes every port before anything else goes.
    ~TEcrDrv();
    TEcrDrv(const TEcrDrv&) = delete;
    TEcrDrv& operator=(const TEcrDrv&) = delete;

    // Engine state published as properties.
    std::int32_t RepCount = 3;
    std::uint8_t SrcAddress = 1;
    std::int32_t Timeout = 1000;
    bool WaitAnswer = false;
    std::int32_t ResultCode = 0;
    std::string ResultDescription;
    std::int32_t CommandID = 0;
    std::int32_t CommandResultCode = 0;
    std::string CommandResultDescription;

    TCommandEvent OnCommand;

    // Result helpers.
    std::int32_t ClearResult();
    // The code with its driver text.
    std::int32_t SetResult(std::int32_t code);
    // EDriverError: its code and message; anything else: -199 with its message.
    std::int32_t ResultFromError(const std::exception& error);

    // Exchanges: the request of `opcode` built from the properties, sent up to RepCount times until an
    // answer with a result of 0 or above arrives; the answer's values land in the properties.
    std::int32_t Exchange(std::uint8_t opcode);
    std::int32_t Beep() { return Exchange(0x13); }
    std::int32_t GetDeviceMetrics() { return Exchange(0xFC); }
    std::int32_t GetDump() { return Exchange(0x01); }
    std::int32_t GetECRFlagName() { return Exchange(0x10); }
    std::int32_t GetECRStatus() { return Exchange(0x11); }
    std::int32_t GetFMStatus() { return Exchange(0x12); }
    std::int32_t SetExchangeParam() { return Exchange(0x14); }
    std::int32_t GetExchangeParam() { return Exchange(0x15); }
    std::int32_t GetCashReg() { return Exchange(0x1A); }
    std::int32_t GetOperationReg() { return Exchange(0x1B); }
    std::int32_t GetRestReg() { return Exchange(0x1C); }
    std::int32_t SetRestReg() { return Exchange(0x1D); }
    std::int32_t SetPointPosition() { return Exchange(0x20); }
    std::int32_t SetTime() { return Exchange(0x21); }
    std::int32_t SetDate() { return Exchange(0x22); }
    std::int32_t WriteTable() { return Exchange(0x1E); }
    std::int32_t ReadTable() { return Exchange(0x1F); }
    std::int32_t InitTables() { return Exchange(0x24); }
    std::int32_t GetTableStruct() { return Exchange(0x2D); }
    std::int32_t GetFieldStruct() { return Exchange(0x2E); }

    // FAh to address 0 from SrcAddress, without waiting: answers arrive as received commands.
    std::int32_t SearchDevice();
    // The current command built by its class and sent once; with WaitAnswer, waits for its answer.
    std::int32_t SendCommand();
    // The current command's header sent as a bare frame; with WaitAnswer, waits for its answer.
    std::int32_t SendCadr();
    // The bare frame only, never waiting.
    std::int32_t PostCadr();
    // RawData written unframed to the current device's port.
    std::int32_t SendRawData();
    // Loads the received command numbered CommandID into the current command and the properties.
    std::int32_t GetCommandParams();
    // Frees the received command numbered CommandID.
    std::int32_t DeleteCommand();
    std::int32_t AddLD();
    std::int32_t DeleteLD();

    // Current logical device. Setters end with the result cleared and raise EDriverError on a refused
    // value, except SetDeviceEnabled, which turns a failure into the result.
    int PortNumber() const;
    void SetPortNumber(int value);
    int BaudRate() const;
    void SetBaudRate(int value);
    bool DeviceEnabled() const;
    void SetDeviceEnabled(bool value);
    bool Fuel() const;
    void SetFuel(bool value);
    std::uint8_t DstAddress() const;
    void SetDstAddress(std::uint8_t value);
    int LDCount() const;
    int LDIndex() const;
    void SetLDIndex(int value);
    std::string LDName() const;
    void SetLDName(const std::string& value);
    int LDNumber() const;
    void SetLDNumber(int value);

    // The current command (the holder). Its header fields are published as the Command* properties.
    TCommand& Holder() { return *holder_; }
    const TCommand& Holder() const { return *holder_; }
    // The frame that SendCommand would send now (counters and class encoding included), built without
    // touching the port; it takes an identifier and, for an answer, replaces the stored answer.
    Bytes CommandData();
    void SetCommandData(const Bytes& data) { holder_->Data = data; }
    std::string CommandDataHex();
    void SetCommandDataHex(const std::string& hex);

    // Texts derived from the stored values.
    std::string ECRModeDescription() const;
    std::string ECRAdvancedModeDescription() const;
    std::string ECRDeviceName() const;

    bool LogEnabled() const { return log_->Enabled(); }
    void SetLogEnabled(bool value) { log_->SetEnabled(value); }
    std::string LogFileName() const { return log_->FileName(); }
    void SetLogFileName(const std::string& value) { log_->SetFileName(value); }

    TLogFile& Log() { return *log_; }
    TDevices& Devices() { return *devices_; }
    TCommands& Received() { return *received_; }
    TCommands& StoredAnswers() { return *stored_; }
    TCounters& Counters() { return *counters_; }
    TCmdWnd& CommandWindow() { return *cmdWnd_; }

  private:
    // What an awaited answer must match; read by the port threads.
    struct TAwaitKey {
        std::uint8_t code = 0;
        std::uint8_t src = 0;  // our address: the answer's destination
        std::uint8_t dst = 0;  // the register's address: the answer's source
    };

    void ReadSettings();
    void WriteSettings() noexcept;

    // Builds the frame of the current command by its class: counters, LoadFromDriver, stored answer.
    Bytes BuildTypedFrame(int portNumber);
    std::int32_t TypedPost();
    std::int32_t RawPost();
    std::int32_t WaitForAnswer();
    void SetAwaiting(bool on);
    // Loads a received command into the holder and the properties (steps shared by GetCommandParams, the
    // consumption of an answer and the automatic repetition).
    void LoadCommand(const TCommand& command);
    // An answer that matched while nobody waited for it goes to the clients instead of being stranded.
    void AnnounceUnconsumedAnswer();

    // Port thread, inside the devices' critical section.
    void ReceiveFrame(TDevice& device, const TEcrFrame& frame);
    // Engine thread, from the command window.
    void Deliver(std::int32_t id);
    void Announce(std::int32_t id);
    void PostToWindow(std::int32_t id);
    void AnswerOutOfSequence(const TCommand& request);

    std::unique_ptr<TLogFile> log_;
    std::unique_ptr<TCounters> counters_;
    std::unique_ptr<TCmdWnd> cmdWnd_;
    tessel::ManualResetEvent answerEvent_;
    std::unique_ptr<TCommand> holder_;
    std::unique_ptr<TCommands> received_;
    std::unique_ptr<TDevices> devices_;
    std::unique_ptr<TCommands> stored_;

    std::atomic<bool> awaiting_{false};
    std::atomic<std::int32_t> awaitedID_{0};
    std::mutex awaitMutex_;
    TAwaitKey awaitKey_;
};
