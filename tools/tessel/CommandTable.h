#pragma once
// What `listen` shows of a received command: the operation's name and the properties that the driver
// decodes from it, by opcode.

#include <cstdint>
#include <span>
#include <string_view>

namespace tessel::cli {

struct CommandView {
    std::uint8_t opcode;
    std::string_view name;                      // the operation's name; empty when unknown
    std::span<const std::string_view> request;  // set by GetCommandParams from a request
    std::span<const std::string_view> answer;   // set by GetCommandParams from a successful answer
};

// The view of `opcode`; an opcode without a class gives an empty name and no properties.
CommandView ViewOf(std::uint8_t opcode);

}  // namespace tessel::cli
