#include "driver/commands/CommandFactory.h"

#include <array>

#include "driver/commands/OpcodeList.h"
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

// Every opcode of the list with its class. A plain table rather than self-registration: registrars in a
// static library are dropped by the linker.
constexpr OpcodeClass kClasses[] = {
#define TESSEL_FACTORY_ENTRY(opcode, Class, ...) {opcode, &Make<Class>},
    TESSEL_COMMANDS(TESSEL_FACTORY_ENTRY)
#undef TESSEL_FACTORY_ENTRY
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
