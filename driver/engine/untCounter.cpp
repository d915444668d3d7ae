#include "driver/engine/untCounter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "driver/link/untCommand.h"

namespace {

using TRecord = std::array<std::uint8_t, TCounters::kRecordSize>;

// Bytes of a record.
enum : std::size_t { kOurRequest = 0, kPeerAnswerC2 = 1, kPeerRequest = 2, kPeerCount = 3 };

constexpr std::uint8_t kRequest = 0;
constexpr std::uint8_t kAnswer = 1;

struct TSequenceFlags {
    bool outOfSequence = false;
    bool execute = false;
    bool rollback = false;
};

// The sequence rules for one received frame of the given type and counters. Returns whether the record
// changed.
bool ApplyToRecord(TRecord& r, std::uint8_t type, std::uint8_t c1, std::uint8_t c2, TSequenceFlags& flags) {
    if (type == kRequest) {
        if (c1 == r[kPeerRequest] && c2 != r[kPeerCount]) return false;  // a repetition after a lost answer
        if (c1 == r[kPeerRequest]) {
            // The same request again after our answer was counted: the peer rolled back and asks anew.
            flags.execute = true;
            flags.rollback = true;
        } else if (c1 == static_cast<std::uint8_t>(r[kPeerRequest] + 1) && c2 == r[kPeerCount]) {
            flags.execute = true;
        } else {
            flags.outOfSequence = true;
        }
        r[kPeerRequest] = c1;
        r[kPeerCount] = static_cast<std::uint8_t>(r[kPeerCount] + 1);
        return true;
    }
    if (type == kAnswer) {
        r[kOurRequest] = static_cast<std::uint8_t>(r[kOurRequest] + 1);
        r[kPeerAnswerC2] = c2;
        return true;
    }
    return false;
}

[[noreturn]] void ThrowFileError(int error, const std::string& fileName) {
    throw std::system_error(error, std::generic_category(), fileName);
}

// Owns one descriptor.
class TUniqueFd {
  public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : fd_(fd) {}
    ~TUniqueFd() {
        if (fd_ >= 0) ::close(fd_);  // releases the advisory lock too
    }
    TUniqueFd(TUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) {
            TUniqueFd old(std::move(*this));
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;

    int Get() const { return fd_; }

  private:
    int fd_ = -1;
};

enum class TOpenOutcome {
    Opened,
    Busy,         // another holder has the lock
    Unusable,     // the name exists but is not a regular file we may open for reading and writing
    CannotCreate  // the name does not exist and the file cannot be created
};

struct TOpenAttempt {
    TOpenOutcome outcome;
    int error = 0;
    TUniqueFd fd;
};

// Opens (or creates) the file and takes its exclusive lock; never truncates, so a file held by another
// engine is never touched.
TOpenAttempt TryOpenLocked(const std::string& fileName) {
    // No blocking on a FIFO or device that happens to carry the name; it is refused below anyway.
    TUniqueFd fd(::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (fd.Get() < 0) {
        const int error = errno;
        struct stat st {};
        const bool exists = ::lstat(fileName.c_str(), &st) == 0;
        return {exists ? TOpenOutcome::Unusable : TOpenOutcome::CannotCreate, error, {}};
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return {TOpenOutcome::Unusable, errno, {}};
    if (!S_ISREG(st.st_mode)) return {TOpenOutcome::Unusable, EINVAL, {}};
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return {error == EWOULDBLOCK ? TOpenOutcome::Busy : TOpenOutcome::Unusable, error, {}};
    }
    return {TOpenOutcome::Opened, 0, std::move(fd)};
}

}  // namespace

// The counters file itself: records by offset, read and written at once, no cache.
class TCountersFile {
  public:
    // Takes an open, locked descriptor and gives the file its exact size.
    TCountersFile(std::string fileName, TUniqueFd fd) : fileName_(std::move(fileName)), fd_(std::move(fd)) {
        struct stat st {};
        if (::fstat(fd_.Get(), &st) != 0) ThrowFileError(errno, fileName_);
        if (st.st_size != static_cast<off_t>(TCounters::kFileSize) &&
            ::ftruncate(fd_.Get(), static_cast<off_t>(TCounters::kFileSize)) != 0)
            ThrowFileError(errno, fileName_);
    }

    const std::string& FileName() const { return fileName_; }

    TRecord Read(std::size_t offset) const {
        TRecord record{};
        std::size_t done = 0;
        while (done < record.size()) {
            const ssize_t n = ::pread(fd_.Get(), record.data() + done, record.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ThrowFileError(errno, fileName_);
            // The file was cut behind our back: its records cannot be trusted.
            if (n == 0) ThrowFileError(EIO, fileName_);
            done += static_cast<std::size_t>(n);
        }
        return record;
    }

    void Write(std::size_t offset, const TRecord& record) {
        std::size_t done = 0;
        while (done < record.size()) {
            const ssize_t n = ::pwrite(fd_.Get(), record.data() + done, record.size() - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ThrowFileError(errno, fileName_);
            if (n == 0) ThrowFileError(ENOSPC, fileName_);
            done += static_cast<std::size_t>(n);
        }
    }

  private:
    std::string fileName_;
    TUniqueFd fd_;
};

TCounters::TCounters(TOpenedKey, std::unique_ptr<TCountersFile> file) : file_(std::move(file)) {}

TCounters::TCounters(const std::string& fileName) {
    TOpenAttempt attempt = TryOpenLocked(fileName);
    switch (attempt.outcome) {
        case TOpenOutcome::Opened:
            break;
        case TOpenOutcome::Busy:
            ThrowFileError(EBUSY, fileName);
        default:
            ThrowFileError(attempt.error, fileName);
    }
    file_ = std::make_unique<TCountersFile>(fileName, std::move(attempt.fd));
}

TCounters::~TCounters() = default;

std::unique_ptr<TCounters> TCounters::OpenInDirectory(const std::string& directory, int maxNumber) {
    if (maxNumber < 1) throw std::invalid_argument("TCounters::OpenInDirectory: maxNumber < 1");
    const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    for (int number = 0; number < maxNumber; ++number) {
        const std::string fileName = prefix + FileNameFor(number);
        TOpenAttempt attempt = TryOpenLocked(fileName);
        switch (attempt.outcome) {
            case TOpenOutcome::Opened:
                return std::make_unique<TCounters>(
                    TOpenedKey{}, std::make_unique<TCountersFile>(fileName, std::move(attempt.fd)));
            case TOpenOutcome::CannotCreate:
                // Every later number would fail the same way.
                ThrowFileError(attempt.error, fileName);
            case TOpenOutcome::Busy:
            case TOpenOutcome::Unusable:
                break;
        }
    }
    throw std::runtime_error("Все файлы счетчиков " + FileNameFor(0) + " … " + FileNameFor(maxNumber - 1) +
                             " в каталоге \"" + directory + "\" заняты");
}

std::string TCounters::FileNameFor(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "Counters%d.dat", number);
    return name;
}

std::size_t TCounters::RecordOffset(std::int32_t port, std::uint8_t address) {
    // The conversion to 8 bits is the mathematical modulo 256, also for negative ports.
    const auto portByte = static_cast<std::uint8_t>(port);
    return kRecordSize * (address + std::size_t{256} * portByte);
}

const std::string& TCounters::FileName() const {
    return file_->FileName();
}

void TCounters::CountersFor(TCommand& command) {
    std::lock_guard lock(mutex_);
    const TRecord r = file_->Read(RecordOffset(command.PortNumber, command.DstAddress));
    if (command.CommandType == kRequest) {
        command.C1 = r[kOurRequest];
        command.C2 = r[kPeerAnswerC2];
    } else {
        command.C1 = r[kPeerRequest];
        command.C2 = r[kPeerCount];
    }
}

void TCounters::ApplyReceived(TCommand& command) {
    command.OutOfSequence = false;
    command.ExecuteFlag = false;
    command.RollbackFlag = false;
    // A corrupted frame may carry any counters; counting it could make the next attempt of a lost answer
    // look like a new request, and the register would execute the operation twice.
    if (!command.CrcOk) return;

    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(command.PortNumber, command.SrcAddress);
    TRecord r = file_->Read(offset);
    TSequenceFlags flags;
    if (ApplyToRecord(r, command.CommandType, command.C1, command.C2, flags)) file_->Write(offset, r);
    command.OutOfSequence = flags.outOfSequence;
    command.ExecuteFlag = flags.execute;
    command.RollbackFlag = flags.rollback;
}
