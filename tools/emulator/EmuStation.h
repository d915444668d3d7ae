#pragma once
// The registers' side of the exchange on one line, without the line itself: which frames are answered, with
// which counters, from which stored answer, and the registers' own requests with their answers.
//
// Sequence counters: each register keeps, per computer address, the four bytes of a counters record. They
// live in one TCounters whose records are keyed (register address, computer address): the register address
// stands where the driver keeps its port number, so every register on the line has records of its own.
//
// A register is the answering station for the computer's requests, by the counters rules to the letter:
//   c1 = r2 + 1, c2 = r3  a new request in sequence: executed;      r2 := c1, r3 += 1
//   c1 == r2, c2 == r3    a rollback: executed again;              r2 := c1, r3 += 1
//   c1 == r2, c2 != r3    a repetition after a lost answer: the stored answer goes out again, whatever the
//                         request asks, and nothing runs
//   any other c1 != r2    out of sequence: refused with result 204, nothing runs; r2 := c1, r3 += 1
// and its answer carries C1 = r2, C2 = r3 after the update. Registers differ: with EmuRepeatCheck::Request
// the stored answer serves only the request it answered (same opcode and data), another request with the same
// counters is executed with the counters as they are, and requests out of sequence are executed too. The
// search (FAh) reaches every register at once with counters that belong to the broadcast address on the
// computer's side, so it is taken as the next request in sequence whatever it carries: r2 += 1, r3 += 1,
// answered with them.
//
// Not thread-safe: the line serialises its calls.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/Bytes.h"
#include "driver/engine/untCounter.h"
#include "driver/link/untCommand.h"
#include "tools/emulator/EmuModel.h"
#include "tools/emulator/EmuRegister.h"

// What a repetition must match to be answered from the stored answer.
enum class EmuRepeatCheck {
    Counters,  // the counters alone, as the rules say: a register that also refuses requests out of sequence
    Request,   // the counters and the request itself; requests out of sequence are executed
};

// How a register took a request, by its counters.
enum class EmuRequestKind {
    InSequence,     // c1 = r2 + 1, c2 = r3
    OutOfSequence,  // any other c1 != r2: refused (EmuRepeatCheck::Counters) or executed
    Rollback,       // c1 = r2, c2 = r3
    Repetition,     // c1 = r2, c2 != r3, the request of the stored answer
    Search,         // FAh: taken as the next in sequence whatever it carries
};

// One answer for the line to send.
struct EmuReply {
    std::uint8_t address = 0;  // the register that answers
    Bytes body;                // frame body (destination .. data), ready for BuildFrame
    EmuRequestKind kind = EmuRequestKind::InSequence;
    bool repeated = false;  // the stored answer went out again; nothing was executed
    bool refused = false;   // answered 204 as out of sequence; nothing was executed
};

// "in sequence", "out of sequence", "rollback", "repetition", "search".
const char* RequestKindText(EmuRequestKind kind);

// What one received frame led to.
struct EmuReception {
    std::vector<EmuReply> replies;            // answers to send, in order
    std::unique_ptr<TCommand> requestAnswer;  // the awaited answer to a register's own request
    std::string note;                         // why the frame was ignored (empty when it was used)
};

class EmuStation {
  public:
    // Takes the counters the registers keep. Throws std::invalid_argument for nullptr.
    explicit EmuStation(std::unique_ptr<TCounters> counters, EmuRepeatCheck check = EmuRepeatCheck::Counters);

    // Adds a register at `address` (1..255; 0 is the broadcast address). Throws std::invalid_argument for
    // address 0, an address served already, or a model that fails Validate.
    void AddRegister(std::uint8_t address, EmuRegisterModel model = {});
    bool Serves(std::uint8_t address) const;
    std::vector<std::uint8_t> Addresses() const;
    // The register at `address`; throws std::out_of_range when it is not served.
    EmuRegister& Register(std::uint8_t address);
    const EmuRegister& Register(std::uint8_t address) const;

    // How many times the register at `address` really executed requests with this opcode (repetitions
    // answered from the stored answer and refused requests do not count); 0 for addresses not served.
    std::uint64_t ExecutionCount(std::uint8_t address, std::uint8_t opcode) const;

    // Handles one reassembled frame (unstuffed, start byte to checksum) with its checksum verdict. Frames
    // that fail their checksum, carry no opcode, or are meant for no register here are ignored (a note
    // says why). Requests are answered as the class comment says; an answer that matches the register
    // request in progress is decoded with the opcode's class and returned. Throws std::system_error when
    // the counters file fails.
    EmuReception Receive(const Bytes& frame, bool crcOk);

    // Starts a request of the register at `address` to the computer at `computer`: `payload` is the opcode
    // and its data. Returns the frame body, carrying C1 = r0 and C2 = r1 of that register's record; the
    // matching answer (type 1, from `computer`, same opcode, the request's C1) later advances r0 and takes
    // its C2 into r1.
    // With `rollback` the request number is stepped back first: the request carries the counters of the
    // last one the computer answered, which the computer executes in its place (the register undid it).
    // A request still in progress is forgotten. Throws std::invalid_argument when the address is not
    // served, the payload is empty or longer than a frame carries; std::system_error when the counters
    // file fails.
    Bytes BeginRequest(std::uint8_t address, std::uint8_t computer, const Bytes& payload,
                       bool rollback = false);
    // Forgets the request in progress, so its late answer is ignored.
    void CancelRequest();
    bool RequestInProgress() const { return pending_.has_value(); }

  private:
    struct Pending {
        std::uint8_t address;
        std::uint8_t computer;
        std::uint8_t opcode;
        std::uint8_t c1;  // the answer carries it back
    };
    struct Stored {
        Bytes request;  // opcode and data of the request it answers
        Bytes body;
    };
    using ByteKey = std::pair<std::uint8_t, std::uint8_t>;

    // The register at `address`; throws std::out_of_range when it is not served.
    EmuRegister* Find(std::uint8_t address) const;
    EmuReception ReceiveRequest(const Bytes& frame);
    std::unique_ptr<TCommand> ReceiveAnswer(const Bytes& frame);
    // Executes and answers; the counters are already updated. Stores the answer for repetitions.
    EmuReply Execute(std::uint8_t address, std::uint8_t peer, const Bytes& frame, EmuRequestKind kind);
    // Refuses a request out of sequence: result 204 alone, nothing executed or stored.
    EmuReply Refuse(std::uint8_t address, std::uint8_t peer, const Bytes& frame);
    // The search rule: taken as the next request in sequence, whatever its counters.
    void TakeAsNextInSequence(std::uint8_t address, std::uint8_t peer);

    std::unique_ptr<TCounters> counters_;
    EmuRepeatCheck check_;
    std::map<std::uint8_t, std::unique_ptr<EmuRegister>> registers_;
    std::map<ByteKey, Stored> stored_;           // (register, computer)
    std::map<ByteKey, std::uint64_t> executed_;  // (register, opcode)
    std::optional<Pending> pending_;
};
