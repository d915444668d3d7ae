#pragma once
// The driver engine: one per process. It holds every parameter and answer value of the automation
// interface, the current command, the received commands and the answers kept for repetition, the logical
// devices, the sequence counters, the log and the command window; it runs each operation and leaves its
// outcome in ResultCode and ResultDescription; and it receives the frames of every logical device,
// answers repeated and out-of-sequence requests by itself and announces the rest.
//
// Exactly once: a request goes out with counters no other request used while its outcome is unknown (see
// TCounters::BeginRequest), every try of it with the counters of the first, and a request the register
// refused as out of sequence (204: nothing executed) goes once more, in sequence. Counters are on disk before
// an operation returns; a counters file that cannot be written fails the operation.
//
// Matching: an answer is the awaited one when it comes on the request's port and also carries back the C1
// of the request, and only the first such answer of an attempt is; an answer to an older request (the second
// copy of an answer already taken, the late answer of a request given up) moves no counter and is logged and
// dropped. A
// repetition of a register's request is answered from the stored answer only when that answers this very
// request (same opcode and data); another request with the same counters (the register gave up on its last
// one) is announced for execution. Automatic answers leave the current command, the properties and the
// result alone.
//
// Line statistics: the engine counts what it sends and receives, the tries, time-outs, refusals, dropped
// answers and lost ports, and the time of each answered exchange, in TLineStats (a file shared with every
// engine of the user); they never change what the exchange does.
//
// Threads: operations may come from several threads (the tables and search workers call the driver while
// the thread that created the engine pumps its queue); they run one at a time under OperationLock(), which
// every caller on more than one thread takes around each operation (the automation object does so for every
// member), and which the engine takes itself around each automatic answer. Port threads run the receive
// handler and never take it, so an operation waiting for its answer cannot block them; nor does the thread
// that pumps the command window wait for it: a delivery that finds it taken waits its turn. Announcements
// reach the creating thread through its message queue and are delivered only when that thread pumps it.

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "common/platform/Bytes.h"
#include "common/platform/SyncObjects.h"
#include "driver/base/ECRDrvData.h"
#include "driver/base/untLogFile.h"
#include "driver/commands/OpcodeList.h"
#include "driver/engine/untCmdWnd.h"
#include "driver/engine/untCounter.h"
#include "driver/engine/untDevice.h"
#include "driver/engine/untLineStats.h"
#include "driver/engine/untOperationLock.h"
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
        // Counters to use instead of a file in CountersDirectory (tests give counters that fail on demand).
        std::unique_ptr<TCounters> Counters{};
    };

    // Creates the log, the counters, the command window (on the calling thread), the lists and the devices;
    // reads the settings and loads the logical devices (a failure there is logged). Throws when the
    // counters file cannot be opened or the command window cannot be made.
    explicit TEcrDrv(TOptions options);
    TEcrDrv();
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
    // The current command's result as a client sets it: the code and its text travel together.
    std::int32_t GetCommandResultCode() const { return CommandResultCode; }
    void SetCommandResultCode(std::int32_t code);

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
    // One operation per command the computer sends (OpcodeList.h): GetECRStatus() exchanges 11h.
#define TESSEL_ENGINE_OPERATION(opcode, Class, Operation, ...) \
    std::int32_t Operation() {                                 \
        return Exchange(opcode);                               \
    }
    TESSEL_COMPUTER_COMMANDS(TESSEL_ENGINE_OPERATION)
#undef TESSEL_ENGINE_OPERATION

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
    TCommand& Holder() {
        return *holder_;
    }
    const TCommand& Holder() const {
        return *holder_;
    }
    // The frame that SendCommand would send now (counters and class encoding included), built without
    // touching the port; it takes an identifier and, for an answer, replaces the stored answer.
    Bytes CommandData();
    void SetCommandData(const Bytes& data) {
        holder_->Data = data;
    }
    std::string CommandDataHex();
    void SetCommandDataHex(const std::string& hex);

    // Texts derived from the stored values.
    std::string ECRModeDescription() const;
    std::string ECRAdvancedModeDescription() const;
    std::string ECRDeviceName() const;

    bool LogEnabled() const {
        return log_->Enabled();
    }
    void SetLogEnabled(bool value) {
        log_->SetEnabled(value);
    }
    std::string LogFileName() const {
        return log_->FileName();
    }
    void SetLogFileName(const std::string& value) {
        log_->SetFileName(value);
    }

    // Held around each operation by callers on more than one thread, and by the engine around each automatic
    // answer. Re-entrant: an operation may be part of a larger one on the same thread.
    TOperationLock& OperationLock() {
        return operation_;
    }

    TLogFile& Log() {
        return *log_;
    }
    TDevices& Devices() {
        return *devices_;
    }
    TCommands& Received() {
        return *received_;
    }
    TCommands& StoredAnswers() {
        return *stored_;
    }
    TCounters& Counters() {
        return *counters_;
    }
    TCmdWnd& CommandWindow() {
        return *cmdWnd_;
    }
    // The line statistics; null when their file could not be opened (the driver works without them).
    TLineStats* LineStats() {
        return stats_.get();
    }

  private:
    // What an awaited answer must match; read by the port threads.
    struct TAwaitKey {
        std::uint8_t code = 0;
        std::uint8_t src = 0;   // our address: the answer's destination
        std::uint8_t dst = 0;   // the register's address: the answer's source
        std::uint8_t c1 = 0;    // the request's C1, which its answer carries back
        std::int32_t port = 0;  // the port the request went out on
        bool armed = false;     // from the post of an attempt to the match of its answer
    };
    // A peer on a port: (port number, address).
    using TPeerKey = std::pair<std::int32_t, std::uint8_t>;
    // What the engine remembers of a peer's requests, to tell a repetition from a new request that reuses
    // the counters of one the peer gave up on: opcode and data block of each.
    struct TPeerRequests {
        Bytes executed;  // the last request delivered for execution
        Bytes answered;  // the request that the stored answer answers
    };

    void ReadSettings();
    void WriteSettings() noexcept;
    // The parameters and the logical devices, stored together.
    void SaveSettings() noexcept;

    // Builds the frame body of the current command by its class: LoadFromDriver, counters, stored answer.
    // `sending`: the body goes out now, so it takes its counters and arms the answer (ArmAnswer); empty when
    // an answer to an earlier attempt of the awaited request has come meanwhile. Else the counters it would
    // carry now, taking nothing.
    Bytes BuildTypedBody(int portNumber, bool sending);
    // Sends a frame body on `device` and keeps the frame as the current command's CommandCadr, so a client
    // sees what went out (an exchange's answer does not replace it; GetCommandParams shows a received one).
    void SendBody(TDevice& device, const Bytes& body);
    // Puts the counters of `command`, about to go out on `portNumber`, into its frame `body` (a request
    // becomes the peer's open request) and makes it the awaited request; false (nothing taken) when an answer
    // to an earlier attempt has already been matched. A counters file that cannot be written is an
    // EDriverError; nothing is to be sent then.
    bool ArmAnswer(Bytes& body, const TCommand& command, int portNumber);
    std::int32_t TypedPost();
    std::int32_t RawPost();
    std::int32_t WaitForAnswer();
    // SendCommand and SendCadr: the holder sent by `post`, with WaitAnswer its answer awaited; a request
    // refused as out of sequence goes once more as it was.
    std::int32_t SendAndWait(std::int32_t (TEcrDrv::*post)());
    void SetAwaiting(bool on);
    // Loads a received command into the holder and the properties (steps shared by GetCommandParams, the
    // consumption of an answer and the automatic repetition).
    void LoadCommand(const TCommand& command);
    // An answer that matched while nobody waited for it goes to the clients instead of being stranded.
    void AnnounceUnconsumedAnswer();

    // Port thread, inside the devices' critical section.
    void ReceiveFrame(TDevice& device, const TEcrFrame& frame);
    // The port and peer of the request last armed, and a count for them in the line statistics.
    std::pair<std::int32_t, std::uint8_t> AwaitedPeer();
    void CountForAwaited(TLineCounter counter);
    // Port thread, inside the devices' critical section: an exchange waiting on that port ends at once.
    void PortLost(TDevice& device, const std::string& reason);
    // Engine thread, from the command window: `id` joins the deliveries waiting (0: a wake-up alone), and
    // those go in order as long as the operation lock is free.
    void Deliver(std::int32_t id);
    // Any thread, when the operation lock is let go.
    void OperationReleased();
    // Under the operation lock: answers the command by itself when it is a repetition or out of sequence;
    // whether it is to be announced.
    bool PreProcess(std::int32_t id);
    // The stored answer for a repetition of `request`, if there is one that answers that very request.
    std::unique_ptr<TCommand> StoredAnswerFor(const TCommand& request);
    // Sends an answer the engine makes by itself on the line `request` came from, without touching the
    // current command, the properties or the result; a failure is logged.
    void SendAutomaticAnswer(TCommand& answer, const TCommand& request);
    void Announce(std::int32_t id);
    void PostToWindow(std::int32_t id);

    std::unique_ptr<TLogFile> log_;
    std::unique_ptr<TCounters> counters_;
    std::unique_ptr<TLineStats> stats_;
    std::unique_ptr<TCmdWnd> cmdWnd_;
    tessel::ManualResetEvent answerEvent_;
    std::unique_ptr<TCommand> holder_;
    std::unique_ptr<TCommands> received_;
    std::unique_ptr<TDevices> devices_;
    std::unique_ptr<TCommands> stored_;

    TOperationLock operation_;
    // Received commands whose delivery waits for the operation lock (the engine's thread never waits for it:
    // a worker's operation may last for many exchanges), in the order they came; a wake-up is posted to the
    // command window when the lock is let go while some wait.
    std::mutex deliveryMutex_;
    std::deque<std::int32_t> waitingDeliveries_;
    bool wakePosted_ = false;
    // Under the operation lock.
    std::map<TPeerKey, TPeerRequests> peerRequests_;
    std::optional<std::pair<TPeerKey, Bytes>> loadedRequest_;  // the request last loaded by a client

    // The awaited answer: the mark, the key and the matched identifier change together under awaitMutex_,
    // which the port threads also hold while they count a frame and match it.
    std::atomic<bool> awaiting_{false};
    std::atomic<std::int32_t> awaitedID_{0};
    bool portLost_ = false;       // the awaited answer's port went away; signals the answer event too
    std::string portLostReason_;  // under awaitMutex_: the port's words for it, naming the port
    std::string answerFailure_;   // the awaited answer came, but its counters could not be written
    std::mutex awaitMutex_;
    TAwaitKey awaitKey_;
};
