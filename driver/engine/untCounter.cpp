#include "driver/engine/untCounter.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "common/platform/LockedFile.h"
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

// An answer carrying the counters of the last answer taken: a second copy of it, which counts nothing.
bool RepeatsLastAnswer(const TRecord& r, std::uint8_t c1, std::uint8_t c2) {
    return c1 == static_cast<std::uint8_t>(r[kOurRequest] - 1) && c2 == r[kPeerAnswerC2];
}

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
        if (RepeatsLastAnswer(r, c1, c2)) return false;
        r[kOurRequest] = static_cast<std::uint8_t>(r[kOurRequest] + 1);
        r[kPeerAnswerC2] = c2;
        return true;
    }
    return false;
}

using tessel::LockedFile;

[[noreturn]] void ThrowFileError(const std::error_code& error, const std::string& fileName) {
    throw std::system_error(error, fileName);
}

}  // namespace

// The counters file itself: records by offset, read and written at once, no cache.
class TCountersFile {
  public:
    // Takes an open, locked file and gives it its exact size.
    explicit TCountersFile(LockedFile file) : file_(std::move(file)) {
        if (file_.Size() != TCounters::kFileSize) file_.Resize(TCounters::kFileSize);
    }

    const std::string& FileName() const { return file_.Path(); }

    TRecord Read(std::size_t offset) const {
        TRecord record{};
        file_.ReadAt(offset, record.data(), record.size());
        return record;
    }

    void Write(std::size_t offset, const TRecord& record) {
        file_.WriteAt(offset, record.data(), record.size());
    }

  private:
    LockedFile file_;
};

TCounters::TCounters(TOpenedKey, std::unique_ptr<TCountersFile> file) : file_(std::move(file)) {}

TCounters::TCounters(const std::string& fileName) {
    LockedFile file;
    const LockedFile::OpenResult opened = file.Open(fileName);
    switch (opened.outcome) {
        case LockedFile::Outcome::Opened:
            break;
        case LockedFile::Outcome::Busy:
            ThrowFileError(std::make_error_code(std::errc::device_or_resource_busy), fileName);
        default:
            ThrowFileError(opened.error, fileName);
    }
    file_ = std::make_unique<TCountersFile>(std::move(file));
}

TCounters::~TCounters() = default;

std::unique_ptr<TCounters> TCounters::OpenInDirectory(const std::string& directory, int maxNumber) {
    if (maxNumber < 1) throw std::invalid_argument("TCounters::OpenInDirectory: maxNumber < 1");
    const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    for (int number = 0; number < maxNumber; ++number) {
        const std::string fileName = prefix + FileNameFor(number);
        LockedFile file;
        const LockedFile::OpenResult opened = file.Open(fileName);
        switch (opened.outcome) {
            case LockedFile::Outcome::Opened:
                return std::make_unique<TCounters>(TOpenedKey{},
                                                   std::make_unique<TCountersFile>(std::move(file)));
            case LockedFile::Outcome::CannotCreate:
                // Every later number would fail the same way.
                ThrowFileError(opened.error, fileName);
            case LockedFile::Outcome::Busy:
            case LockedFile::Outcome::Unusable:
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

void TCounters::StepBackRequest(std::int32_t port, std::uint8_t address) {
    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(port, address);
    TRecord r = file_->Read(offset);
    r[kOurRequest] = static_cast<std::uint8_t>(r[kOurRequest] - 1);
    file_->Write(offset, r);
}

bool TCounters::ApplyReceived(TCommand& command) {
    command.OutOfSequence = false;
    command.ExecuteFlag = false;
    command.RollbackFlag = false;
    // A corrupted frame may carry any counters; counting it could make the next attempt of a lost answer
    // look like a new request, and the register would execute the operation twice.
    if (!command.CrcOk) return false;

    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(command.PortNumber, command.SrcAddress);
    TRecord r = file_->Read(offset);
    const bool repeatedAnswer =
        command.CommandType == kAnswer && RepeatsLastAnswer(r, command.C1, command.C2);
    TSequenceFlags flags;
    if (ApplyToRecord(r, command.CommandType, command.C1, command.C2, flags)) file_->Write(offset, r);
    command.OutOfSequence = flags.outOfSequence;
    command.ExecuteFlag = flags.execute;
    command.RollbackFlag = flags.rollback;
    return repeatedAnswer;
}
