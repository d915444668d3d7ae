#include "driver/commands/CommandFactory.h"

#include <array>
#include <initializer_list>

#include "driver/commands/untPaymentCommands.h"
#include "driver/commands/untRegisterCommands.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/commands/untStatusCommands.h"
#include "driver/commands/untTableCommands.h"

namespace {

template <class T>
std::unique_ptr<TCommand> Make() {
    return std::make_unique<T>();
}

struct OpcodeClass {
    std::uint8_t opcode;
    TCommandClass make;
};

// One line per opcode that has a class of its own, e.g. {0x11, &Make<TCommand11h>}. A plain table rather
// than self-registration: registrars in a static library are dropped by the linker.
constexpr std::initializer_list<OpcodeClass> kClasses = {
    {0x01, &Make<TCommand01h>},
    {0x10, &Make<TCommand10h>},
    {0x11, &Make<TCommand11h>},
    {0x12, &Make<TCommand12h>},
    {0x13, &Make<TCommand13h>},
    {0x14, &Make<TCommand14h>},
    {0x15, &Make<TCommand15h>},
    {0xFC, &Make<TCommandFCh>},
    // Registers, decimal point, clock and tables.
    {0x1A, &Make<TCommand1Ah>},
    {0x1B, &Make<TCommand1Bh>},
    {0x1C, &Make<TCommand1Ch>},
    {0x1D, &Make<TCommand1Dh>},
    {0x20, &Make<TCommand20h>},
    {0x21, &Make<TCommand21h>},
    {0x22, &Make<TCommand22h>},
    {0x1E, &Make<TCommand1Eh>},
    {0x1F, &Make<TCommand1Fh>},
    {0x24, &Make<TCommand24h>},
    {0x2D, &Make<TCommand2Dh>},
    {0x2E, &Make<TCommand2Eh>},
    // The register's own requests: sale, discounts and payment, receipt end, cash operations.
    {0x80, &Make<TCommand80h>},
    {0x81, &Make<TCommand81h>},
    {0x82, &Make<TCommand82h>},
    {0x83, &Make<TCommand83h>},
    {0x84, &Make<TCommand84h>},
    {0x85, &Make<TCommand85h>},
    {0x86, &Make<TCommand86h>},
    {0x87, &Make<TCommand87h>},
    {0x88, &Make<TCommand88h>},
    {0x90, &Make<TCommand90h>},
    {0x91, &Make<TCommand91h>},
    {0x50, &Make<TCommand5xh>},
    {0x51, &Make<TCommand5xh>},
    {0x52, &Make<TCommand5xh>},
};

// Every opcode resolved at compile time; an opcode listed twice stops the build.
constexpr std::array<TCommandClass, 256> kTable = [] {
    std::array<TCommandClass, 256> table{};
    table.fill(&Make<TCommand>);
    for (const OpcodeClass& entry : kClasses) {
        if (table[entry.opcode] != &Make<TCommand>) throw "opcode listed twice";
        table[entry.opcode] = entry.make;
    }
    return table;
}();

}  // namespace

TCommandClass CommandClassFor(std::uint8_t opcode) {
    return kTable[opcode];
}

std::unique_ptr<TCommand> CreateCommand(std::uint8_t opcode) {
    auto command = CommandClassFor(opcode)();
    command->Code = opcode;
    return command;
}
