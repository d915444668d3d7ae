#pragma once
// One line of emulated cash registers: a terminal, the registers at their addresses on it, and the thread
// that reads requests, answers them, plays the registers' own requests and injects the faults asked for.
//
// The thread sleeps in poll() on the terminal and a wake-up descriptor; every wait it makes (pacing, answer
// delay, a stalled write) is bounded and ends at once when the line stops. Everything here is safe to call
// from any thread; the frame observer is called on the line's thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/platform/Bytes.h"
#include "driver/link/untCommand.h"
#include "tools/emulator/EmuFaults.h"
#include "tools/emulator/EmuModel.h"
#include "tools/emulator/EmuStation.h"
#include "tools/emulator/EmuTerminal.h"

class TEcrFrame;

struct EmuLineOptions {
    // The registers' speed in baud; 0: any. On a pseudo-terminal made here, which starts at this speed, the
    // registers understand only the frames that arrive while the driver has the line set to it, and their
    // own requests sent while it is not are lost, as on a line whose two ends disagree. A named terminal is
    // set to it.
    std::uint32_t baud = 0;
    EmuPacing pacing;
    // The computer's address, to which the registers send their own requests.
    std::uint8_t computerAddress = 1;
    // Where the registers keep their counters; empty: a private temporary folder, removed with the line.
    std::string countersDirectory;
    // How long a write waits for a reader to make room. On a pseudo-terminal made here, what nobody has
    // read is then discarded and the write tried once more; after a second wait the rest is not sent.
    std::uint32_t writeStallMs = 1000;
    // What a repetition must match to get the stored answer (see EmuStation).
    EmuRepeatCheck repeatCheck = EmuRepeatCheck::Counters;
};

// How the note of a frame the registers did not understand begins (a line at another speed).
inline constexpr std::string_view kNotUnderstood = "not understood: ";

// A frame or bytes seen on the line, for logs and tests.
struct EmuFrameEvent {
    enum class Kind {
        Received,  // bytes: the unstuffed frame; note: why it was ignored, if it was
        Sent,      // bytes: what went on the line; note: "answer N, <request kind>[, stored answer]
                   // [, refused][, late][, corrupted]" or "request"
        Dropped,   // bytes: the answer that was not sent; note: as for an answer sent
        Noise,     // bytes: the noise sent
        Problem,   // note: what went wrong (when the line stopped, Failure() says the same)
    };
    Kind kind = Kind::Received;
    Bytes bytes;
    bool crcOk = true;
    std::string note;
};

class EmuLine {
  public:
    using Observer = std::function<void(const EmuFrameEvent&)>;

    // Starts a line on a new pseudo-terminal; Path() is its slave side. Throws std::system_error when no
    // pseudo-terminal, counters folder or thread can be had.
    static std::unique_ptr<EmuLine> StartOnNewPty(EmuLineOptions options = {});
    // Starts a line on a named terminal. Throws as EmuTerminal::OpenDevice does, and as StartOnNewPty.
    static std::unique_ptr<EmuLine> StartOnDevice(const std::string& path, EmuLineOptions options = {});

    // Stops the line.
    ~EmuLine();
    EmuLine(const EmuLine&) = delete;
    EmuLine& operator=(const EmuLine&) = delete;

    // Stops the thread and waits for it; a request of a register waiting for its answer returns at once.
    // The terminal stays open until the line is destroyed. Idempotent; not to be called from the observer.
    void Stop();

    // The path a driver opens to reach the registers.
    const std::string& Path() const;
    const EmuLineOptions& Options() const { return options_; }
    // False once the line was stopped or failed by itself (a terminal that hung up, a read error).
    bool Running() const;
    // Why the line stopped by itself; empty otherwise.
    std::string Failure() const;
    // A descriptor that becomes readable when the line's thread has ended (for a caller's poll loop).
    int StoppedFd() const { return stopped_.Get(); }
    // A descriptor that becomes readable once the line has received its first byte.
    int HeardFd() const { return heard_.Get(); }

    // Registers. AddRegister throws std::invalid_argument as EmuStation::AddRegister does; Model and
    // UpdateModel throw std::out_of_range for an address not served. UpdateModel applies `change` to a copy
    // and keeps it only when it passes EmuRegisterModel::Validate (else std::invalid_argument); `change`
    // runs under the line's lock and must not call the line.
    void AddRegister(std::uint8_t address, EmuRegisterModel model = {});
    std::vector<std::uint8_t> Addresses() const;
    EmuRegisterModel Model(std::uint8_t address) const;
    void UpdateModel(std::uint8_t address, const std::function<void(EmuRegisterModel&)>& change);
    // See EmuStation::ExecutionCount.
    std::uint64_t ExecutionCount(std::uint8_t address, std::uint8_t opcode) const;

    // Faults on the answers, numbered from 1 since the line started (see EmuFaults). Throw
    // std::invalid_argument for answer number 0.
    void DropAnswer(std::uint64_t number);
    void CorruptAnswer(std::uint64_t number);
    void NoiseBeforeAnswer(std::uint64_t number, const Bytes& noise);
    void SetAnswerDelay(std::uint32_t ms);
    // See EmuFaults::SetExecutionDelay.
    void SetExecutionDelay(std::uint32_t ms);
    // See EmuFaults::SetRandomLateness.
    void SetRandomLateness(const EmuLateness& lateness);
    void ClearFaults();
    // How many answers were numbered so far (sent or dropped).
    std::uint64_t AnswerCount() const;
    // Sends `noise` on the line as soon as the thread is free. Nothing for no bytes.
    void SendNoise(const Bytes& noise);

    // The register at `address` sends `payload` (opcode and data) to the computer as a request and waits
    // at most `timeoutMs` for the answer: the answer decoded with its opcode's class, or nullptr when none
    // came in time or the line stopped. Requests of the registers go one at a time; a caller waits for the
    // one before it within its own time-out. A request that got no answer may be sent again: it carries
    // the same counters, as a repetition does. With `rollback` the request undoes the register's last one
    // answered and takes its place (see EmuStation::BeginRequest). Throws std::invalid_argument for an
    // address not served or a payload that is empty or longer than a frame carries, std::runtime_error when
    // the counters failed.
    std::unique_ptr<TCommand> SendRequest(std::uint8_t address, const Bytes& payload, std::uint32_t timeoutMs,
                                          bool rollback = false);

    // Replaces the observer (nullptr: none). Once this returns the old observer is not called any more,
    // nor still running, so what it refers to may go. The observer runs on the line's thread; it may call
    // the line, but not wait on it (SendRequest, Stop), and must not throw: an exception from it stops the
    // line, with its message as the failure.
    void SetFrameObserver(Observer observer);

  private:
    struct TKey {
        explicit TKey() = default;
    };
    struct Outgoing {
        bool request = false;  // a register's request, else noise
        std::uint64_t id = 0;
        std::uint8_t address = 0;
        Bytes bytes;  // the payload of a request, or the noise
        bool rollback = false;
    };
    // An answer made late at random: sent when its time comes, while the line goes on taking requests.
    struct Deferred {
        std::chrono::steady_clock::time_point due;
        EmuReply reply;
        EmuFaultAction action;
        std::string note;
    };
    struct Waiter {
        std::uint64_t id = 0;
        std::unique_ptr<TCommand> answer;
        std::string error;
    };
    class TempFolder;

  public:
    EmuLine(TKey, std::unique_ptr<EmuTerminal> terminal, EmuLineOptions options);

  private:
    static std::unique_ptr<EmuLine> Start(std::unique_ptr<EmuTerminal> terminal, EmuLineOptions options);

    void Run();
    void Serve();
    bool ReadAvailable(TEcrFrame& assembler);
    void HandleFrame(const Bytes& frame, bool crcOk);
    // Whether the line runs at the registers' speed now (or either is unknown); `why` says why not.
    bool AtRegistersSpeed(std::string& why) const;
    void SendAnswer(const EmuReply& reply);
    // Puts the answer on the line now, with the faults of its action.
    void PutAnswer(const EmuReply& reply, const EmuFaultAction& action, std::string note);
    // Sends the deferred answers whose time has come; the milliseconds until the next one, -1 for none.
    int SendDueAnswers();
    void SendQueued();
    // Writes with pacing; false when the line stopped meanwhile.
    bool Transmit(const Bytes& bytes);
    bool WriteAll(const Bytes& piece);
    // Sleeps until `deadline` unless the line stops first (false then).
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);
    void Wake();
    void DrainWake();
    void Notify(EmuFrameEvent::Kind kind, Bytes bytes, std::string note, bool crcOk = true);
    void Fail(const std::string& why);

    const EmuLineOptions options_;
    std::unique_ptr<EmuTerminal> terminal_;
    std::unique_ptr<TempFolder> tempFolder_;  // outlives the station, whose counters file it holds
    EmuFd wake_;
    EmuFd stopped_;
    EmuFd heard_;
    bool heardAnything_ = false;      // the line's thread only
    std::vector<Deferred> deferred_;  // the line's thread only

    mutable std::mutex mutex_;  // station, faults, queue, waiter, failure
    std::condition_variable answered_;
    std::unique_ptr<EmuStation> station_;
    EmuFaults faults_;
    std::deque<Outgoing> queue_;
    std::optional<Waiter> waiter_;
    std::uint64_t nextRequestId_ = 0;
    std::string failure_;
    bool running_ = true;

    std::mutex stopMutex_;
    std::mutex requestMutex_;             // one register request at a time
    std::recursive_mutex observerMutex_;  // held while the observer runs
    Observer observer_;

    std::atomic<bool> stopping_{false};
    std::thread thread_;  // last: started when everything above is ready
};
