#include "driver/engine/untCounter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "common/platform/LockedFile.h"
#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"
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

// The sequence rules for a request received from the peer. Returns whether the record changed.
bool ApplyRequest(TRecord& r, std::uint8_t c1, std::uint8_t c2, TSequenceFlags& flags) {
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

using tessel::LockedFile;

[[noreturn]] void ThrowFileError(const std::error_code& error, const std::string& fileName) {
    throw std::system_error(error, fileName);
}

// A file of records held open with its exclusive lock, sized at once, every write synced to the disk.
class TLockedRecordFile final : public TRecordFile {
  public:
    TLockedRecordFile(LockedFile file, std::uint64_t size, TCounters::Durability durability)
        : file_(std::move(file)), synced_(durability == TCounters::Durability::Synced) {
        if (file_.Size() != size) file_.Resize(size);
    }

    const std::string& FileName() const override { return file_.Path(); }
    void Read(std::uint64_t offset, void* data, std::size_t size) const override {
        file_.ReadAt(offset, data, size);
    }
    void Write(std::uint64_t offset, const void* data, std::size_t size) override {
        file_.WriteAt(offset, data, size);
        if (synced_) file_.SyncData();
    }

  private:
    LockedFile file_;
    const bool synced_;
};

// Opens and locks `fileName`; a busy or unusable file is an error naming it.
LockedFile OpenLocked(const std::string& fileName) {
    LockedFile file;
    const LockedFile::OpenResult opened = file.Open(fileName);
    switch (opened.outcome) {
        case LockedFile::Outcome::Opened:
            return file;
        case LockedFile::Outcome::Busy:
            ThrowFileError(std::make_error_code(std::errc::device_or_resource_busy), fileName);
        default:
            ThrowFileError(opened.error, fileName);
    }
}

std::unique_ptr<TRecordFile> OpenRequestsFile(const std::string& countersFile,
                                              TCounters::Durability durability) {
    return std::make_unique<TLockedRecordFile>(OpenLocked(TCounters::OpenRequestsFileFor(countersFile)),
                                               TCounters::kOpenFileSize, durability);
}

}  // namespace

// The last request sent to each peer, one slot of the open-requests file each:
//   0 marker, 1 flags (bit 0: refusable), 2..5 port (little-endian), 6 address, 7 C1, 8 C2,
//   9 length n of the request (1..246), 10.. opcode and data, the last two bytes the frame checksum of the
//   rest.
// A slot whose marker, length or checksum is wrong (a write cut by a power loss) is free.
class TCounters::TOpenRequests {
  public:
    struct TRequest {
        std::int32_t port = 0;
        std::uint8_t address = 0;
        std::uint8_t c1 = 0;
        std::uint8_t c2 = 0;
        bool refusable = false;
        Bytes request;
    };

    explicit TOpenRequests(std::unique_ptr<TRecordFile> file) : file_(std::move(file)) {
        Bytes slot(kOpenSlotSize);
        for (std::size_t i = 0; i < kOpenSlotCount; ++i) {
            file_->Read(i * kOpenSlotSize, slot.data(), slot.size());
            slots_[i] = Decode(slot);
            if (slots_[i]) bySlot_[{slots_[i]->port & 0xFF, slots_[i]->address}] = i;
        }
    }

    // The request last sent to the peer, if it is still known.
    const TRequest* Find(std::int32_t port, std::uint8_t address) const {
        const auto it = bySlot_.find({port & 0xFF, address});
        return it == bySlot_.end() ? nullptr : &*slots_[it->second];
    }

    // Makes `request` the peer's last request. `settled` tells whether a peer's last request was answered,
    // so its slot may go to another peer when none is free.
    template <class Settled>
    void Put(TRequest request, Settled settled) {
        const std::pair<int, std::uint8_t> key{request.port & 0xFF, request.address};
        std::size_t index = 0;
        if (const auto it = bySlot_.find(key); it != bySlot_.end()) {
            index = it->second;
        } else {
            index = FreeSlot(settled);
            if (slots_[index]) bySlot_.erase({slots_[index]->port & 0xFF, slots_[index]->address});
        }
        const Bytes slot = Encode(request);
        file_->Write(index * kOpenSlotSize, slot.data(), slot.size());
        slots_[index] = std::move(request);
        bySlot_[key] = index;
        lastUse_[index] = ++uses_;
    }

  private:
    static constexpr std::uint8_t kMarker = 0xA5;
    enum : std::size_t { kFlags = 1, kPort = 2, kAddress = 6, kC1 = 7, kC2 = 8, kLength = 9, kRequest = 10 };

    static Bytes Encode(const TRequest& r) {
        Bytes slot(kOpenSlotSize, 0);
        slot[0] = kMarker;
        slot[kFlags] = r.refusable ? 1 : 0;
        const auto port = static_cast<std::uint32_t>(r.port);
        for (int i = 0; i < 4; ++i) slot[kPort + i] = static_cast<std::uint8_t>(port >> (8 * i));
        slot[kAddress] = r.address;
        slot[kC1] = r.c1;
        slot[kC2] = r.c2;
        slot[kLength] = static_cast<std::uint8_t>(r.request.size());
        std::copy(r.request.begin(), r.request.end(), slot.begin() + kRequest);
        const std::uint16_t crc = CalcCRC(slot.data(), kOpenSlotSize - 2);
        slot[kOpenSlotSize - 2] = static_cast<std::uint8_t>(crc);
        slot[kOpenSlotSize - 1] = static_cast<std::uint8_t>(crc >> 8);
        return slot;
    }

    static std::optional<TRequest> Decode(const Bytes& slot) {
        const std::uint16_t crc = CalcCRC(slot.data(), kOpenSlotSize - 2);
        const std::size_t length = slot[kLength];
        if (slot[0] != kMarker || length == 0 || length > kMaxPayloadLength ||
            slot[kOpenSlotSize - 2] != static_cast<std::uint8_t>(crc) ||
            slot[kOpenSlotSize - 1] != static_cast<std::uint8_t>(crc >> 8)) {
            return std::nullopt;
        }
        TRequest r;
        r.refusable = (slot[kFlags] & 1) != 0;
        std::uint32_t port = 0;
        for (int i = 0; i < 4; ++i) port |= std::uint32_t{slot[kPort + i]} << (8 * i);
        r.port = static_cast<std::int32_t>(port);
        r.address = slot[kAddress];
        r.c1 = slot[kC1];
        r.c2 = slot[kC2];
        r.request.assign(slot.begin() + kRequest,
                         slot.begin() + static_cast<std::ptrdiff_t>(kRequest + length));
        return r;
    }

    // A free slot, else one whose request was answered, else the one written longest ago.
    template <class Settled>
    std::size_t FreeSlot(Settled settled) const {
        for (std::size_t i = 0; i < kOpenSlotCount; ++i)
            if (!slots_[i]) return i;
        for (std::size_t i = 0; i < kOpenSlotCount; ++i)
            if (settled(*slots_[i])) return i;
        return static_cast<std::size_t>(std::min_element(lastUse_.begin(), lastUse_.end()) -
                                        lastUse_.begin());
    }

    std::unique_ptr<TRecordFile> file_;
    std::array<std::optional<TRequest>, kOpenSlotCount> slots_;
    std::map<std::pair<int, std::uint8_t>, std::size_t> bySlot_;  // (port mod 256, address) → slot
    std::array<std::uint64_t, kOpenSlotCount> lastUse_{};
    std::uint64_t uses_ = 0;
};

TCounters::TCounters(std::unique_ptr<TRecordFile> counters, std::unique_ptr<TRecordFile> openRequests)
    : file_(std::move(counters)), open_(std::make_unique<TOpenRequests>(std::move(openRequests))) {}

TCounters::TCounters(const std::string& fileName, Durability durability) {
    // The counters file first: a busy or missing one is named as such, not by the file beside it.
    file_ = std::make_unique<TLockedRecordFile>(OpenLocked(fileName), kFileSize, durability);
    open_ = std::make_unique<TOpenRequests>(OpenRequestsFile(fileName, durability));
}

TCounters::~TCounters() = default;

std::unique_ptr<TCounters> TCounters::OpenInDirectory(const std::string& directory, int maxNumber,
                                                      Durability durability) {
    if (maxNumber < 1) throw std::invalid_argument("TCounters::OpenInDirectory: maxNumber < 1");
    const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    for (int number = 0; number < maxNumber; ++number) {
        const std::string fileName = prefix + FileNameFor(number);
        LockedFile file;
        const LockedFile::OpenResult opened = file.Open(fileName);
        switch (opened.outcome) {
            case LockedFile::Outcome::Opened: {
                auto counters = std::make_unique<TLockedRecordFile>(std::move(file), kFileSize, durability);
                return std::make_unique<TCounters>(std::move(counters),
                                                   OpenRequestsFile(fileName, durability));
            }
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

std::string TCounters::OpenRequestsFileFor(const std::string& countersFile) {
    constexpr std::string_view kDat = ".dat";
    if (countersFile.size() > kDat.size() &&
        countersFile.compare(countersFile.size() - kDat.size(), kDat.size(), kDat) == 0)
        return countersFile.substr(0, countersFile.size() - kDat.size()) + ".open";
    return countersFile + ".open";
}

std::size_t TCounters::RecordOffset(std::int32_t port, std::uint8_t address) {
    // The conversion to 8 bits is the mathematical modulo 256, also for negative ports.
    const auto portByte = static_cast<std::uint8_t>(port);
    return kRecordSize * (address + std::size_t{256} * portByte);
}

const std::string& TCounters::FileName() const {
    return file_->FileName();
}

namespace {

TRecord ReadRecord(const TRecordFile& file, std::size_t offset) {
    TRecord r{};
    file.Read(offset, r.data(), r.size());
    return r;
}

}  // namespace

void TCounters::CountersFor(TCommand& command) {
    std::lock_guard lock(mutex_);
    const TRecord r = ReadRecord(*file_, RecordOffset(command.PortNumber, command.DstAddress));
    if (command.CommandType == kRequest) {
        command.C1 = r[kOurRequest];
        command.C2 = r[kPeerAnswerC2];
    } else {
        command.C1 = r[kPeerRequest];
        command.C2 = r[kPeerCount];
    }
}

TCounters::TRequestCounters TCounters::BeginRequest(std::int32_t port, std::uint8_t address,
                                                    const Bytes& request) {
    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(port, address);
    TRecord r = ReadRecord(*file_, offset);
    const TOpenRequests::TRequest* last = open_->Find(port, address);
    // Open: sent with the counters the record still holds, so its answer was never taken.
    const bool open = last != nullptr && last->c1 == r[kOurRequest] && last->c2 == r[kPeerAnswerC2];
    if (open && !last->refusable && last->request == request) return {last->c1, last->c2, false};

    TOpenRequests::TRequest next{port, address, r[kOurRequest], r[kPeerAnswerC2], open, request};
    if (open) {
        next.c1 = static_cast<std::uint8_t>(r[kOurRequest] + 1);
        r[kOurRequest] = next.c1;
        file_->Write(offset, r.data(), r.size());
    }
    const TRequestCounters counters{next.c1, next.c2, next.refusable};
    open_->Put(std::move(next), [this](const TOpenRequests::TRequest& other) {
        return ReadRecord(*file_, RecordOffset(other.port, other.address))[kOurRequest] != other.c1;
    });
    return counters;
}

void TCounters::StepBackRequest(std::int32_t port, std::uint8_t address) {
    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(port, address);
    TRecord r = ReadRecord(*file_, offset);
    r[kOurRequest] = static_cast<std::uint8_t>(r[kOurRequest] - 1);
    file_->Write(offset, r.data(), r.size());
}

bool TCounters::ApplyReceived(TCommand& command, bool anyRequestNumber) {
    command.OutOfSequence = false;
    command.ExecuteFlag = false;
    command.RollbackFlag = false;
    // A corrupted frame may carry any counters; counting it could make the next attempt of a lost answer
    // look like a new request, and the register would execute the operation twice.
    if (!command.CrcOk) return false;
    if (command.CommandType != kRequest && command.CommandType != kAnswer) return false;

    std::lock_guard lock(mutex_);
    const std::size_t offset = RecordOffset(command.PortNumber, command.SrcAddress);
    TRecord r = ReadRecord(*file_, offset);
    if (command.CommandType == kAnswer) {
        if (!anyRequestNumber && command.C1 != r[kOurRequest]) return true;
        r[kOurRequest] = static_cast<std::uint8_t>(command.C1 + 1);
        r[kPeerAnswerC2] = command.C2;
        file_->Write(offset, r.data(), r.size());
        return false;
    }
    TSequenceFlags flags;
    if (ApplyRequest(r, command.C1, command.C2, flags)) file_->Write(offset, r.data(), r.size());
    command.OutOfSequence = flags.outOfSequence;
    command.ExecuteFlag = flags.execute;
    command.RollbackFlag = flags.rollback;
    return false;
}
