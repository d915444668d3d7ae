#include "driver/commands/CommandFactory.h"

#include <array>
#include <initializer_list>

#include "driver/commands/untStatusCommands.h"

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
    {0x01, &Make<TCommand01h>}, {0x10, &Make<TCommand10h>}, {0x11, &Make<TCommand11h>},
    {0x12, &Make<TCommand12h>}, {0x13, &Make<TCommand13h>}, {0x14, &Make<TCommand14h>},
    {0x15, &Make<TCommand15h>}, {0xFC, &Make<TCommandFCh>},
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
