#include "tools/emulator/EmuStation.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "driver/commands/CommandFactory.h"
#include "driver/link/EcrFrame.h"

namespace {

// Offsets in an unstuffed frame; a body lacks the start byte, so its offsets are one less.
enum : std::size_t { kDst = 1, kSrc = 2, kType = 3, kC1 = 4, kC2 = 5, kLength = 6, kOpcode = 7 };
// Start byte, six header bytes, opcode, checksum.
constexpr std::size_t kMinFrame = 10;
constexpr std::size_t kHeaderSize = 6;
constexpr std::uint8_t kBroadcast = 0;
constexpr std::uint8_t kRequest = 0;
constexpr std::uint8_t kAnswer = 1;

// Opcode and data block of an unstuffed frame (the assembler completes a frame only at its length).
Bytes RequestOf(const Bytes& frame) {
    const std::size_t end = std::min(frame.size(), kOpcode + frame[kLength]);
    return Bytes(frame.begin() + kOpcode, frame.begin() + static_cast<std::ptrdiff_t>(end));
}

std::string AddressText(std::uint8_t address) {
    return std::to_string(address);
}

}  // namespace

const char* RequestKindText(EmuRequestKind kind) {
    switch (kind) {
        case EmuRequestKind::InSequence:
            return "in sequence";
        case EmuRequestKind::OutOfSequence:
            return "out of sequence";
        case EmuRequestKind::Rollback:
            return "rollback";
        case EmuRequestKind::Repetition:
            return "repetition";
        case EmuRequestKind::Search:
            return "search";
    }
    return "";
}

EmuStation::EmuStation(std::unique_ptr<TCounters> counters, EmuRepeatCheck check)
    : counters_(std::move(counters)), check_(check) {
    if (!counters_) throw std::invalid_argument("the registers need counters");
}

void EmuStation::AddRegister(std::uint8_t address, EmuRegisterModel model) {
    if (address == kBroadcast) throw std::invalid_argument("address 0 is the broadcast address");
    if (Serves(address))
        throw std::invalid_argument("address " + AddressText(address) + " is served already");
    registers_.emplace(address, std::make_unique<EmuRegister>(std::move(model)));
}

bool EmuStation::Serves(std::uint8_t address) const {
    return registers_.count(address) != 0;
}

std::vector<std::uint8_t> EmuStation::Addresses() const {
    std::vector<std::uint8_t> out;
    for (const auto& entry : registers_) out.push_back(entry.first);
    return out;
}

EmuRegister& EmuStation::Register(std::uint8_t address) {
    return *Find(address);
}

const EmuRegister& EmuStation::Register(std::uint8_t address) const {
    return *Find(address);
}

EmuRegister* EmuStation::Find(std::uint8_t address) const {
    auto it = registers_.find(address);
    if (it == registers_.end()) throw std::out_of_range("no register at address " + AddressText(address));
    return it->second.get();
}

std::uint64_t EmuStation::ExecutionCount(std::uint8_t address, std::uint8_t opcode) const {
    auto it = executed_.find({address, opcode});
    return it == executed_.end() ? 0 : it->second;
}

EmuReception EmuStation::Receive(const Bytes& frame, bool crcOk) {
    EmuReception out;
    if (!crcOk) {
        // A corrupt frame may carry any address and counters: acting on it could only do harm.
        out.note = "checksum failed";
    } else if (frame.size() < kMinFrame || frame[kLength] == 0) {
        out.note = "no opcode";
    } else if (frame[kType] == kRequest) {
        out = ReceiveRequest(frame);
    } else {
        out.requestAnswer = ReceiveAnswer(frame);
        if (!out.requestAnswer) out.note = "an answer no register awaits";
    }
    return out;
}

EmuReception EmuStation::ReceiveRequest(const Bytes& frame) {
    EmuReception out;
    const std::uint8_t dst = frame[kDst];
    const std::uint8_t peer = frame[kSrc];
    const std::uint8_t opcode = frame[kOpcode];

    if (opcode == kSearchOpcode && (dst == kBroadcast || Serves(dst))) {
        const std::vector<std::uint8_t> targets = dst == kBroadcast ? Addresses() : std::vector{dst};
        for (std::uint8_t address : targets) {
            TakeAsNextInSequence(address, peer);
            out.replies.push_back(Execute(address, peer, frame, EmuRequestKind::Search));
        }
        return out;
    }
    if (dst == kBroadcast) {
        // Only the search may be broadcast: every register answering anything else would collide.
        out.note = "a broadcast other than the search";
        return out;
    }
    if (!Serves(dst)) {
        out.note = "no register at address " + AddressText(dst);
        return out;
    }

    TCommand check;
    check.PortNumber = dst;
    check.SrcAddress = peer;
    check.CommandType = kRequest;
    check.C1 = frame[kC1];
    check.C2 = frame[kC2];
    check.CrcOk = true;
    counters_->ApplyReceived(check);
    EmuRequestKind kind = EmuRequestKind::Repetition;
    if (check.RollbackFlag) {
        kind = EmuRequestKind::Rollback;
    } else if (check.ExecuteFlag) {
        kind = EmuRequestKind::InSequence;
    } else if (check.OutOfSequence) {
        kind = EmuRequestKind::OutOfSequence;
    }
    const bool byCounters = check_ == EmuRepeatCheck::Counters;
    if (kind == EmuRequestKind::OutOfSequence && byCounters) {
        out.replies.push_back(Refuse(dst, peer, frame));
        return out;
    }
    if (kind == EmuRequestKind::Repetition) {
        auto stored = stored_.find({dst, peer});
        // By the counters a repetition gets the stored answer whatever it asks. Registers that also compare
        // the request execute anything else with the counters as they are (a computer that gave up on a
        // request and asks another with its counters, or a register restarted with kept counters).
        if (stored != stored_.end() && (byCounters || stored->second.request == RequestOf(frame))) {
            out.replies.push_back({dst, stored->second.body, kind, true});
            return out;
        }
    }
    out.replies.push_back(Execute(dst, peer, frame, kind));
    return out;
}

EmuReply EmuStation::Refuse(std::uint8_t address, std::uint8_t peer, const Bytes& frame) {
    std::unique_ptr<TCommand> answer = CreateCommand(frame[kOpcode]);
    answer->DstAddress = peer;
    answer->SrcAddress = address;
    answer->PortNumber = address;
    answer->CommandType = kAnswer;
    answer->ResultCode = kEmuOutOfSequence;
    counters_->CountersFor(*answer);
    EmuReply reply{address, answer->BuildBody(), EmuRequestKind::OutOfSequence, false};
    reply.refused = true;
    return reply;
}

EmuReply EmuStation::Execute(std::uint8_t address, std::uint8_t peer, const Bytes& frame,
                             EmuRequestKind kind) {
    const std::uint8_t opcode = frame[kOpcode];
    std::unique_ptr<TCommand> answer = Register(address).Execute(frame);
    answer->DstAddress = peer;
    answer->SrcAddress = address;
    answer->PortNumber = address;
    answer->CommandType = kAnswer;
    counters_->CountersFor(*answer);

    Bytes body;
    try {
        body = answer->BuildBody();
        if (body.size() > kHeaderSize + kMaxPayloadLength) throw std::length_error("answer too long");
    } catch (const std::exception&) {
        // The model validates what it holds, so this is a last guard: the register still answers, with
        // the result byte alone.
        answer->ResultCode = kEmuBadState;
        body = answer->BuildBody();
    }
    stored_[{address, peer}] = {RequestOf(frame), body};
    ++executed_[{address, opcode}];
    return {address, std::move(body), kind, false};
}

void EmuStation::TakeAsNextInSequence(std::uint8_t address, std::uint8_t peer) {
    TCommand current;  // an answer's counters are the record's r2 and r3
    current.PortNumber = address;
    current.DstAddress = peer;
    current.CommandType = kAnswer;
    counters_->CountersFor(current);

    TCommand next;
    next.PortNumber = address;
    next.SrcAddress = peer;
    next.CommandType = kRequest;
    next.C1 = static_cast<std::uint8_t>(current.C1 + 1);
    next.C2 = current.C2;
    next.CrcOk = true;
    counters_->ApplyReceived(next);
}

std::unique_ptr<TCommand> EmuStation::ReceiveAnswer(const Bytes& frame) {
    if (!pending_ || frame[kDst] != pending_->address || frame[kSrc] != pending_->computer ||
        frame[kOpcode] != pending_->opcode || frame[kC1] != pending_->c1) {
        return nullptr;
    }
    std::unique_ptr<TCommand> answer = CreateCommand(frame[kOpcode]);
    answer->PortNumber = pending_->address;
    answer->SetFrame(frame, true);
    counters_->ApplyReceived(*answer);
    pending_.reset();
    return answer;
}

Bytes EmuStation::BeginRequest(std::uint8_t address, std::uint8_t computer, const Bytes& payload,
                               bool rollback) {
    if (!Serves(address)) throw std::invalid_argument("no register at address " + AddressText(address));
    if (payload.empty() || payload.size() > kMaxPayloadLength) {
        throw std::invalid_argument("a request carries 1 to " + std::to_string(kMaxPayloadLength) +
                                    " bytes of opcode and data");
    }
    pending_.reset();
    TCommand request;
    request.PortNumber = address;
    request.DstAddress = computer;
    request.CommandType = kRequest;
    if (rollback) counters_->StepBackRequest(address, computer);
    counters_->CountersFor(request);

    Bytes body(kHeaderSize + payload.size());
    body[kDst - 1] = computer;
    body[kSrc - 1] = address;
    body[kType - 1] = kRequest;
    body[kC1 - 1] = request.C1;
    body[kC2 - 1] = request.C2;
    body[kLength - 1] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), body.begin() + kHeaderSize);
    pending_ = Pending{address, computer, payload[0], request.C1};
    return body;
}

void EmuStation::CancelRequest() {
    pending_.reset();
}
