#include "tools/emulator/EmuLine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "driver/engine/untCounter.h"
#include "driver/link/EcrFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 4096;

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int MakeEventFd() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) ThrowErrno("eventfd");
    return fd;
}

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    // A full counter is still readable, which is all a waiter needs.
    [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
}

timespec ToTimespec(Clock::duration d) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

// A private folder for the counters of a line that was given none; removed with everything in it.
class EmuLine::TempFolder {
  public:
    TempFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tessel-emu-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) ThrowErrno(pattern);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;  // a folder that cannot be removed is left behind, nothing worse
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

std::unique_ptr<EmuLine> EmuLine::StartOnNewPty(EmuLineOptions options) {
    return Start(EmuTerminal::OpenPseudoTerminal(options.baud), std::move(options));
}

std::unique_ptr<EmuLine> EmuLine::StartOnDevice(const std::string& path, EmuLineOptions options) {
    auto terminal = EmuTerminal::OpenDevice(path, options.baud);
    return Start(std::move(terminal), std::move(options));
}

std::unique_ptr<EmuLine> EmuLine::Start(std::unique_ptr<EmuTerminal> terminal, EmuLineOptions options) {
    return std::make_unique<EmuLine>(TKey{}, std::move(terminal), std::move(options));
}

EmuLine::EmuLine(TKey, std::unique_ptr<EmuTerminal> terminal, EmuLineOptions options)
    : options_(std::move(options)),
      terminal_(std::move(terminal)),
      wake_(MakeEventFd()),
      stopped_(MakeEventFd()),
      heard_(MakeEventFd()) {
    std::string folder = options_.countersDirectory;
    if (folder.empty()) {
        tempFolder_ = std::make_unique<TempFolder>();
        folder = tempFolder_->Path();
    }
    station_ = std::make_unique<EmuStation>(
        TCounters::OpenInDirectory(folder, TCounters::kMaxFileNumber, TCounters::Durability::Unsynced),
        options_.repeatCheck);
    thread_ = std::thread(&EmuLine::Run, this);
}

EmuLine::~EmuLine() {
    Stop();
}

void EmuLine::Stop() {
    std::lock_guard stopping(stopMutex_);
    stopping_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    answered_.notify_all();
}

const std::string& EmuLine::Path() const {
    return terminal_->Path();
}

bool EmuLine::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::string EmuLine::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

// ---- registers ----

void EmuLine::AddRegister(std::uint8_t address, EmuRegisterModel model) {
    std::lock_guard lock(mutex_);
    station_->AddRegister(address, std::move(model));
}

std::vector<std::uint8_t> EmuLine::Addresses() const {
    std::lock_guard lock(mutex_);
    return station_->Addresses();
}

EmuRegisterModel EmuLine::Model(std::uint8_t address) const {
    std::lock_guard lock(mutex_);
    return station_->Register(address).Model();
}

void EmuLine::UpdateModel(std::uint8_t address, const std::function<void(EmuRegisterModel&)>& change) {
    std::lock_guard lock(mutex_);
    EmuRegister& reg = station_->Register(address);
    EmuRegisterModel model = reg.Model();
    change(model);
    reg.SetModel(std::move(model));
}

std::uint64_t EmuLine::ExecutionCount(std::uint8_t address, std::uint8_t opcode) const {
    std::lock_guard lock(mutex_);
    return station_->ExecutionCount(address, opcode);
}

// ---- faults ----

void EmuLine::DropAnswer(std::uint64_t number) {
    std::lock_guard lock(mutex_);
    faults_.DropAnswer(number);
}

void EmuLine::CorruptAnswer(std::uint64_t number) {
    std::lock_guard lock(mutex_);
    faults_.CorruptAnswer(number);
}

void EmuLine::NoiseBeforeAnswer(std::uint64_t number, const Bytes& noise) {
    std::lock_guard lock(mutex_);
    faults_.NoiseBeforeAnswer(number, noise);
}

void EmuLine::SetAnswerDelay(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    faults_.SetDelay(ms);
}

void EmuLine::SetExecutionDelay(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    faults_.SetExecutionDelay(ms);
}

void EmuLine::SetRandomLateness(const EmuLateness& lateness) {
    std::lock_guard lock(mutex_);
    faults_.SetRandomLateness(lateness);
}

void EmuLine::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.Clear();
}

std::uint64_t EmuLine::AnswerCount() const {
    std::lock_guard lock(mutex_);
    return faults_.AnswerCount();
}

void EmuLine::SendNoise(const Bytes& noise) {
    if (noise.empty()) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Outgoing{false, 0, 0, noise});
    }
    Wake();
}

// ---- the registers' own requests ----

std::unique_ptr<TCommand> EmuLine::SendRequest(std::uint8_t address, const Bytes& payload,
                                               std::uint32_t timeoutMs, bool rollback) {
    std::lock_guard serial(requestMutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    if (!station_->Serves(address)) {
        throw std::invalid_argument("no register at address " + std::to_string(address));
    }
    if (payload.empty() || payload.size() > kMaxPayloadLength) {
        throw std::invalid_argument("a request carries 1 to " + std::to_string(kMaxPayloadLength) +
                                    " bytes of opcode and data");
    }
    if (!running_) return nullptr;
    const std::uint64_t id = ++nextRequestId_;
    waiter_ = Waiter{id, nullptr, {}};
    queue_.push_back(Outgoing{true, id, address, payload, rollback});
    lock.unlock();
    Wake();
    lock.lock();
    answered_.wait_until(lock, deadline,
                         [this] { return waiter_->answer || !waiter_->error.empty() || !running_; });
    std::unique_ptr<TCommand> answer = std::move(waiter_->answer);
    const std::string error = std::move(waiter_->error);
    waiter_.reset();
    if (!answer) {
        // A late answer must not be taken for the next request's, and an unsent request must not go out.
        station_->CancelRequest();
        std::erase_if(queue_, [id](const Outgoing& o) { return o.request && o.id == id; });
    }
    if (!error.empty()) throw std::runtime_error(error);
    return answer;
}

void EmuLine::SetFrameObserver(Observer observer) {
    std::lock_guard lock(observerMutex_);
    observer_ = std::move(observer);
}

// ---- the line's thread ----

void EmuLine::Run() {
    try {
        Serve();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    answered_.notify_all();
    Signal(stopped_.Get());
}

void EmuLine::Serve() {
    TEcrFrame assembler;
    std::vector<std::pair<Bytes, bool>> frames;
    // Frames are handled after Feed returns: answering may take long (pacing, delays) and must not run
    // inside the assembler.
    assembler.OnFrame = [&frames](TEcrFrame& f) { frames.emplace_back(f.Data(), f.CrcOk()); };
    while (!stopping_) {
        pollfd fds[2] = {{terminal_->Fd(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
        const int timeout = SendDueAnswers();
        if (stopping_) break;
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("poll");
        }
        if (fds[1].revents & POLLIN) DrainWake();
        if (stopping_) break;
        if (fds[0].revents & POLLIN) {
            if (!ReadAvailable(assembler)) return;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            Fail("the line hung up");
            return;
        }
        for (const auto& [frame, crcOk] : frames) {
            HandleFrame(frame, crcOk);
            if (stopping_) return;
        }
        frames.clear();
        SendQueued();
        SendDueAnswers();
    }
}

bool EmuLine::ReadAvailable(TEcrFrame& assembler) {
    std::uint8_t buffer[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(terminal_->Fd(), buffer, sizeof buffer);
        if (n > 0) {
            if (!std::exchange(heardAnything_, true)) Signal(heard_.Get());
            assembler.Feed(buffer, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n == 0 || errno == EIO) {
            Fail("the line hung up");
            return false;
        }
        ThrowErrno("read " + terminal_->Path());
    }
}

bool EmuLine::AtRegistersSpeed(std::string& why) const {
    if (options_.baud == 0) return true;
    const std::uint32_t rate = terminal_->LineRate();
    if (rate == 0 || rate == options_.baud) return true;
    why = "the line runs at " + std::to_string(rate) + " baud, the registers at " +
          std::to_string(options_.baud);
    return false;
}

void EmuLine::HandleFrame(const Bytes& frame, bool crcOk) {
    // At another speed a register receives only garbled bytes: it neither answers nor counts the frame.
    if (std::string why; !AtRegistersSpeed(why)) {
        Notify(EmuFrameEvent::Kind::Received, frame, std::string(kNotUnderstood) + why, crcOk);
        return;
    }
    EmuReception reception;
    try {
        std::lock_guard lock(mutex_);
        reception = station_->Receive(frame, crcOk);
    } catch (const std::exception& e) {
        Notify(EmuFrameEvent::Kind::Received, frame, {}, crcOk);
        Notify(EmuFrameEvent::Kind::Problem, {}, e.what());
        return;
    }
    Notify(EmuFrameEvent::Kind::Received, frame, reception.note, crcOk);
    if (reception.requestAnswer) {
        std::lock_guard lock(mutex_);
        if (waiter_) {
            waiter_->answer = std::move(reception.requestAnswer);
            answered_.notify_all();
        }
    }
    for (const EmuReply& reply : reception.replies) {
        SendAnswer(reply);
        if (stopping_) return;
    }
}

void EmuLine::SendAnswer(const EmuReply& reply) {
    EmuFaultAction action;
    {
        std::lock_guard lock(mutex_);
        action = faults_.NextAnswer(reply.repeated || reply.refused);
    }
    std::string note = "answer " + std::to_string(action.number) + ", " + RequestKindText(reply.kind);
    if (reply.repeated) note += ", stored answer";
    if (reply.refused) note += ", refused";
    if (action.late) {
        // A late answer does not hold the line: the register takes the computer's next try meanwhile.
        note += ", late";
        deferred_.push_back(
            {Clock::now() + std::chrono::milliseconds(action.delayMs), reply, action, std::move(note)});
        return;
    }
    if (action.delayMs != 0 && !WaitUntil(Clock::now() + std::chrono::milliseconds(action.delayMs))) return;
    PutAnswer(reply, action, std::move(note));
}

int EmuLine::SendDueAnswers() {
    for (;;) {
        if (deferred_.empty() || stopping_) return -1;
        const auto next =
            std::min_element(deferred_.begin(), deferred_.end(),
                             [](const Deferred& a, const Deferred& b) { return a.due < b.due; });
        const auto now = Clock::now();
        if (next->due > now) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next->due - now).count();
            return static_cast<int>(left);
        }
        Deferred due = std::move(*next);
        deferred_.erase(next);
        PutAnswer(due.reply, due.action, std::move(due.note));
    }
}

void EmuLine::PutAnswer(const EmuReply& reply, const EmuFaultAction& action, std::string note) {
    if (!action.noise.empty()) {
        if (!Transmit(action.noise)) return;
        Notify(EmuFrameEvent::Kind::Noise, action.noise, {});
    }
    Bytes wire = BuildFrame(reply.body);
    if (action.drop) {
        Notify(EmuFrameEvent::Kind::Dropped, std::move(wire), std::move(note));
        return;
    }
    if (action.corrupt) {
        wire = CorruptFrameChecksum(wire);
        note += ", corrupted";
    }
    if (Transmit(wire)) Notify(EmuFrameEvent::Kind::Sent, std::move(wire), std::move(note));
}

void EmuLine::SendQueued() {
    for (;;) {
        Bytes wire;
        bool noise = false;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            Outgoing item = std::move(queue_.front());
            queue_.pop_front();
            noise = !item.request;
            if (noise) {
                wire = std::move(item.bytes);
            } else {
                try {
                    wire = BuildFrame(station_->BeginRequest(item.address, options_.computerAddress,
                                                             item.bytes, item.rollback));
                } catch (const std::exception& e) {
                    if (waiter_ && waiter_->id == item.id) {
                        waiter_->error = e.what();
                        answered_.notify_all();
                    }
                    continue;
                }
            }
        }
        // A request sent at the wrong speed reaches the computer as garbage: as good as lost on the line.
        if (std::string why; !noise && !AtRegistersSpeed(why)) {
            Notify(EmuFrameEvent::Kind::Dropped, std::move(wire), "request, lost: " + why);
            continue;
        }
        if (!Transmit(wire)) return;
        Notify(noise ? EmuFrameEvent::Kind::Noise : EmuFrameEvent::Kind::Sent, std::move(wire),
               noise ? std::string() : std::string("request"));
    }
}

bool EmuLine::Transmit(const Bytes& bytes) {
    // Each piece is handed over when the line would have finished sending it, so a reader sees the bytes
    // arrive no sooner than a real line of that speed delivers them.
    const auto start = Clock::now();
    std::size_t sent = 0;
    for (const Bytes& piece : options_.pacing.Pieces(bytes)) {
        sent += piece.size();
        if (options_.pacing.baud != 0 && !WaitUntil(start + options_.pacing.TimeOf(sent))) return false;
        if (!WriteAll(piece)) return false;
    }
    return true;
}

bool EmuLine::WriteAll(const Bytes& piece) {
    const int fd = terminal_->Fd();
    std::size_t done = 0;
    bool discarded = false;
    const std::chrono::milliseconds stall(options_.writeStallMs);
    auto stallEnd = Clock::now() + stall;
    while (done < piece.size()) {
        const ssize_t n = ::write(fd, piece.data() + done, piece.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stallEnd = Clock::now() + stall;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ThrowErrno("write " + terminal_->Path());
        if (stopping_) return false;
        const auto now = Clock::now();
        if (now >= stallEnd) {
            if (!discarded && terminal_->OwnsPseudoTerminal()) {
                // Nobody reads the slave side: what waits there is lost, as on a line with no listener.
                terminal_->DiscardUnread();
                discarded = true;
                stallEnd = now + stall;
                continue;
            }
            Notify(EmuFrameEvent::Kind::Problem, {},
                   "nobody reads the line: " + std::to_string(piece.size() - done) + " bytes not sent");
            return true;
        }
        pollfd fds[2] = {{fd, POLLOUT, 0}, {wake_.Get(), POLLIN, 0}};
        const timespec left = ToTimespec(stallEnd - now);
        if (::ppoll(fds, 2, &left, nullptr) < 0 && errno != EINTR) ThrowErrno("poll");
        if (fds[1].revents & POLLIN) DrainWake();  // queued work waits for the main loop
    }
    return true;
}

bool EmuLine::WaitUntil(Clock::time_point deadline) {
    for (;;) {
        if (stopping_) return false;
        const auto now = Clock::now();
        if (now >= deadline) return true;
        pollfd wake{wake_.Get(), POLLIN, 0};
        const timespec left = ToTimespec(deadline - now);
        const int n = ::ppoll(&wake, 1, &left, nullptr);
        if (n < 0 && errno != EINTR) ThrowErrno("poll");
        if (n > 0) DrainWake();  // queued work waits for the main loop, which looks at the queue each turn
    }
}

void EmuLine::Wake() {
    Signal(wake_.Get());
}

void EmuLine::DrainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_.Get(), &count, sizeof count);
}

void EmuLine::Notify(EmuFrameEvent::Kind kind, Bytes bytes, std::string note, bool crcOk) {
    std::lock_guard lock(observerMutex_);
    if (!observer_) return;
    const Observer observer = observer_;  // a copy: the observer may replace itself while it runs
    observer(EmuFrameEvent{kind, std::move(bytes), crcOk, std::move(note)});
}

void EmuLine::Fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = why;
    }
    Notify(EmuFrameEvent::Kind::Problem, {}, why);
}
