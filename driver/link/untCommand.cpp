#include "driver/link/untCommand.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <stdexcept>

#include "driver/base/untError.h"

namespace {

// Shared by the port threads that create received commands and the caller's thread that creates commands to
// send, so identifiers stay unique across them.
std::atomic<std::int32_t> g_lastCommandID{0};

// Offsets in an unstuffed frame; the body starts one byte earlier, without the start byte.
constexpr std::size_t kDstOffset = 1;
constexpr std::size_t kSrcOffset = 2;
constexpr std::size_t kTypeOffset = 3;
constexpr std::size_t kC1Offset = 4;
constexpr std::size_t kC2Offset = 5;
constexpr std::size_t kLengthOffset = 6;
constexpr std::size_t kCodeOffset = 7;
constexpr std::size_t kDataOffset = 8;
// Everything up to the opcode must be there to read a frame at all.
constexpr std::size_t kMinFrameSize = kDataOffset;
// The length byte counts the payload (opcode and data block) in 8 bits.
constexpr std::size_t kMaxPayload = 255;

void RequireLength(const Bytes& data, int needed) {
    if (needed > 0 && data.size() < static_cast<std::size_t>(needed)) throw EDataLength();
}

}  // namespace

TCommand::TCommand() : ID(++g_lastCommandID) {}

TCommand::~TCommand() = default;

void TCommand::SetOwner(TCommands* list) {
    if (list == owner_) return;
    if (owner_ == nullptr) throw std::logic_error("The command is in no list");
    if (list == nullptr) throw std::logic_error("A command leaves its list only by Extract");
    list->Add(owner_->Extract(this));
}

TEcrDrv* TCommand::Engine() const {
    return owner_ != nullptr ? owner_->Engine() : nullptr;
}

void TCommand::DecodeRequest(const Bytes& /*data*/) {}

void TCommand::DecodeAnswer(const Bytes& /*data*/) {}

void TCommand::SaveToDriver(TECRDrvData& /*data*/) const {}

void TCommand::LoadFromDriver(const TECRDrvData& /*data*/) {}

void TCommand::Assign(const TCommand& source) {
    if (&source == this) return;
    ID = source.ID;
    C1 = source.C1;
    C2 = source.C2;
    DstAddress = source.DstAddress;
    SrcAddress = source.SrcAddress;
    CommandType = source.CommandType;
    DataLength = source.DataLength;
    Data = source.Data;
    Code = source.Code;
    CrcOk = source.CrcOk;
    OutOfSequence = source.OutOfSequence;
    ExecuteFlag = source.ExecuteFlag;
    RollbackFlag = source.RollbackFlag;
    ResultCode = source.ResultCode;
    PortNumber = source.PortNumber;
    LDNumber = source.LDNumber;
    ResultDescription = source.ResultDescription;
}

Bytes TCommand::BuildBody() const {
    Bytes block;
    if (IsRequest()) {
        block = EncodeRequest();
    } else {
        // An answer with an error carries its result byte alone, whatever the answer fields hold.
        block.push_back(static_cast<std::uint8_t>(ResultCode));
        if (ResultCode == 0) {
            const Bytes answer = EncodeAnswer();
            block.insert(block.end(), answer.begin(), answer.end());
        }
    }
    const std::size_t payload = 1 + block.size();
    if (payload > kMaxPayload) throw EDriverError(E_INVALIDVALUE);

    Bytes body(kDataOffset - 1 + block.size());
    body[kDstOffset - 1] = DstAddress;
    body[kSrcOffset - 1] = SrcAddress;
    body[kTypeOffset - 1] = CommandType;
    body[kC1Offset - 1] = C1;
    body[kC2Offset - 1] = C2;
    body[kLengthOffset - 1] = static_cast<std::uint8_t>(payload);
    body[kCodeOffset - 1] = Code;
    std::copy(block.begin(), block.end(), body.begin() + static_cast<std::ptrdiff_t>(kDataOffset - 1));
    return body;
}

std::string TCommand::SetFrame(const Bytes& frame, bool crcOk) {
    Cadr = frame;
    CrcOk = crcOk;
    if (frame.size() < kMinFrameSize) throw EDataLength();

    DstAddress = frame[kDstOffset];
    SrcAddress = frame[kSrcOffset];
    CommandType = frame[kTypeOffset];
    C1 = frame[kC1Offset];
    C2 = frame[kC2Offset];
    DataLength = frame[kLengthOffset];
    Code = frame[kCodeOffset];
    // The length byte counts the opcode too; a frame cut short simply yields fewer bytes.
    const std::size_t wanted = DataLength > 0 ? DataLength - 1u : 0u;
    const std::size_t available = std::min(wanted, frame.size() - kDataOffset);
    const auto first = frame.begin() + static_cast<std::ptrdiff_t>(kDataOffset);
    Data.assign(first, first + static_cast<std::ptrdiff_t>(available));

    if (!crcOk) {
        ResultCode = E_CRC;
        ResultDescription = GetDriverErrorText(E_CRC);
        return {};
    }

    // A block that does not fit the class's layout is no failure of the link: decoding stops where it
    // failed, and the caller gets the message for its log.
    try {
        if (IsRequest()) {
            RequireLength(Data, RequestLength() - 1);
            DecodeRequest(Data);
        } else {
            RequireLength(Data, 1);
            ResultCode = Data.front();
            ResultDescription = GetResultText(ResultCode);
            if (ResultCode == 0) {
                Data.erase(Data.begin());
                RequireLength(Data, AnswerLength() - 2);
                DecodeAnswer(Data);
            }
        }
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown decoding error";
    }
    return {};
}

TCommands::~TCommands() {
    Clear();
}

TCommand* TCommands::Items(std::size_t index) const {
    if (index >= items_.size()) throw std::out_of_range("List index out of bounds");
    return items_[index].get();
}

TCommand* TCommands::Add(std::unique_ptr<TCommand> item) {
    if (!item) throw std::invalid_argument("No command to add");
    if (item->owner_ != nullptr) {
        // Its list still owns it: letting `item` free it would free it twice.
        (void)item.release();
        throw std::logic_error("The command is in a list already");
    }
    item->owner_ = this;
    items_.push_back(std::move(item));
    return items_.back().get();
}

std::unique_ptr<TCommand> TCommands::Extract(TCommand* item) {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [item](const auto& p) { return p.get() == item; });
    if (it == items_.end()) return nullptr;
    std::unique_ptr<TCommand> taken = std::move(*it);
    items_.erase(it);
    taken->owner_ = nullptr;
    return taken;
}

bool TCommands::Delete(TCommand* item) {
    return Extract(item) != nullptr;
}

TCommand* TCommands::FindByID(std::int32_t id) const {
    for (const auto& item : items_) {
        if (item->ID == id) return item.get();
    }
    return nullptr;
}

TCommand* TCommands::FindStoredAnswer(std::int32_t port, std::uint8_t address) const {
    for (const auto& item : items_) {
        if (item->PortNumber == port && item->DstAddress == address) return item.get();
    }
    return nullptr;
}

void TCommands::Clear() {
    // Take the items out first: a destructor that looks at the list then finds it consistent.
    std::vector<std::unique_ptr<TCommand>> freed;
    freed.swap(items_);
    for (auto& item : freed) item->owner_ = nullptr;
}
