#pragma once
// The commands of OpcodeList.h as data, for those that list or describe them (the emulator's scripts, the
// command-line client): each opcode's name, who sends it, the method that sends it, its class and the rows of
// its field table.

#include <cstdint>
#include <span>
#include <string_view>
#include <typeinfo>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/FieldCommand.h"

struct TCommandInfo {
    std::uint8_t opcode = 0;
    bool sentByRegister = false;  // the register's own request, which the computer answers
    std::string_view operation;   // the ITesselDriver method that sends it; empty for the register's requests
    std::string_view name;        // "Запрос состояния ККМ"
    TCommandClass make = nullptr;
    std::span<const TField> (*fields)() = nullptr;  // the class's rows
    const std::type_info* type = nullptr;           // the class

    // Whether `command` is an object of this opcode's class.
    bool IsClassOf(const TCommand& command) const { return typeid(command) == *type; }
};

// Every command of the list, in its order.
std::span<const TCommandInfo> CommandCatalogue();
// The entry of `opcode`, or nullptr for an opcode without a class of its own.
const TCommandInfo* FindCommandInfo(std::uint8_t opcode);
