#pragma once
// The opcode-to-class factory: every opcode has a class, the base TCommand when it has none of its own.

#include <cstdint>
#include <memory>

#include "driver/link/untCommand.h"

// Creates a new object of one command class.
using TCommandClass = std::unique_ptr<TCommand> (*)();

// The class of `opcode`; never fails (opcodes without a class of their own give the base class).
TCommandClass CommandClassFor(std::uint8_t opcode);

// A new object of the class of `opcode`, with Code set to it and in no list. Fails only as allocation does.
std::unique_ptr<TCommand> CreateCommand(std::uint8_t opcode);
