#include "driver/commands/CommandCatalogue.h"

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

#define TESSEL_COMPUTER_ENTRY(opcode, Class, operation, name, ...) \
    TCommandInfo{opcode, false, #operation, name, &Make<Class>, &Class::FieldTable, &typeid(Class)},
#define TESSEL_REGISTER_ENTRY(opcode, Class, operation, name, ...) \
    TCommandInfo{opcode, true, {}, name, &Make<Class>, &Class::FieldTable, &typeid(Class)},
const TCommandInfo kCommands[] = {TESSEL_COMPUTER_COMMANDS(TESSEL_COMPUTER_ENTRY)
                                      TESSEL_REGISTER_COMMANDS(TESSEL_REGISTER_ENTRY)};
#undef TESSEL_COMPUTER_ENTRY
#undef TESSEL_REGISTER_ENTRY

}  // namespace

std::span<const TCommandInfo> CommandCatalogue() {
    return kCommands;
}

const TCommandInfo* FindCommandInfo(std::uint8_t opcode) {
    for (const TCommandInfo& info : kCommands) {
        if (info.opcode == opcode) return &info;
    }
    return nullptr;
}
