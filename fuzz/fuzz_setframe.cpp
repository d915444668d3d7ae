// Arbitrary bytes as a received frame: decoding by the base class and by the opcode's own class, with
// either checksum verdict, then building the body again. Nothing may crash, leak or raise anything but the
// documented refusals: a frame too short to hold a header, a block too long, a table value no field carries.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <typeinfo>

#include "driver/base/untError.h"
#include "driver/commands/CommandFactory.h"
#include "driver/link/untCodecs.h"
#include "driver/link/untCommand.h"

namespace {

void Exercise(std::unique_ptr<TCommand> command, const Bytes& frame, bool crcOk) {
    try {
        (void)command->SetFrame(frame, crcOk);
    } catch (const EDataLength&) {
        if (frame.size() >= 8) __builtin_trap();
        return;
    }
    Bytes body;
    try {
        body = command->BuildBody();
    } catch (const EDriverError& e) {
        // A class may re-encode more than the length byte can count; anything else is a fault.
        if (e.ErrorCode() != E_INVALIDVALUE) throw;
        return;
    } catch (const std::invalid_argument&) {
        // A table value that no number field can carry (a received write with no value bytes, say) is
        // refused before anything is built, as a client's bad value is.
        return;
    }
    // A copy of the same class must build the same body.
    auto copy = CommandClassFor(command->Code)();
    copy->Assign(*command);
    const TCommand& original = *command;
    const TCommand& duplicate = *copy;
    if (typeid(duplicate) == typeid(original) && copy->BuildBody() != body) __builtin_trap();
    if (HexToBytes(BytesToHex(command->Cadr)) != command->Cadr) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes frame(data, data + size);
    for (const bool crcOk : {true, false}) {
        Exercise(std::make_unique<TCommand>(), frame, crcOk);
        if (size > 7) Exercise(CreateCommand(frame[7]), frame, crcOk);
    }
    return 0;
}
