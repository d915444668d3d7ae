#pragma once
// What `listen` shows of a received command: the operation's name and the properties that the driver
// decodes from it, by opcode, as the driver's command list and field tables give them.

#include <cstdint>
#include <string_view>
#include <vector>

namespace tessel::cli {

struct CommandView {
    std::uint8_t opcode;
    std::string_view name;                  // the operation's name; empty when unknown
    std::vector<std::string_view> request;  // set by GetCommandParams from a request
    std::vector<std::string_view> answer;   // set by GetCommandParams from a successful answer
};

// The view of `opcode`. The register's own requests list the properties of their request and answer rows,
// a date or time made of single bytes shown once as the property it is part of (ECRDate, ECRTime); the
// commands the computer sends list none. An opcode without a class gives an empty name and no properties.
CommandView ViewOf(std::uint8_t opcode);

}  // namespace tessel::cli
