#pragma once
// One emulated cash register: executes a computer's request against its model and gives the answer as the
// command object of the opcode's class, so the driver's own command classes encode what the register says.

#include <cstdint>
#include <memory>

#include "common/platform/Bytes.h"
#include "driver/link/untCommand.h"
#include "tools/emulator/EmuModel.h"

// Result codes the register answers with.
enum EmuResult : std::int32_t {
    kEmuOk = 0,
    kEmuBadParameters = 1,  // "Некорректные параметры команды": a request block shorter than its layout
    kEmuBadState = 2,     // "Некорректное состояние": the model cannot be reported
    kEmuBadDateTime = 7,  // "Некорректны дата или время"
    kEmuBadRegister = 129,
    kEmuBadDevice = 133,
    kEmuBadBlock = 134,
    kEmuBadBit = 135,
    kEmuBadPort = 136,
    kEmuBadSpeed = 137,
    kEmuUnavailable = 138,    // "Команда не доступна": an opcode the register does not know
    kEmuOutOfSequence = 204,  // a request out of sequence, refused without being executed
    // The table codes 130..132, 139 and 140 (also a decimal point position other than 0 or 1) are
    // EmuTableResult's.
};

// The search opcode, which every register answers with an empty block.
constexpr std::uint8_t kSearchOpcode = 0xFA;

class EmuRegister {
  public:
    // Throws std::invalid_argument when the model fails EmuRegisterModel::Validate.
    explicit EmuRegister(EmuRegisterModel model = {});

    const EmuRegisterModel& Model() const { return model_; }
    // Replaces the model; throws std::invalid_argument (and keeps the old one) when it fails Validate.
    void SetModel(EmuRegisterModel model);

    // Whether the register knows this opcode (others are answered with kEmuUnavailable).
    static bool Knows(std::uint8_t opcode);

    // Executes the request in `frame` (unstuffed, start byte to checksum, checksum verified by the caller; at
    // least 8 bytes). Returns the answer: an object of the opcode's class with Code, CommandType 1 and
    // ResultCode set and its answer fields filled on success; the caller fills addresses and counters.
    // Requests that change the model (beep, port parameters, rest registers, decimal point, clock, tables)
    // change it here. Never throws for any frame
    // content; fails only as allocation does.
    std::unique_ptr<TCommand> Execute(const Bytes& frame);

  private:
    EmuRegisterModel model_;
};
