#include "tools/tessel/CommandTable.h"

#include "driver/commands/CommandCatalogue.h"

namespace tessel::cli {

namespace {

std::vector<std::string_view> NamesOf(const TCommandInfo& info, layout::TDirection direction) {
    std::vector<std::string_view> names;
    for (const TField& field : info.fields()) {
        if (field.direction != direction) continue;
        const std::string_view name = field.partOf.empty() ? field.name : field.partOf;
        if (names.empty() || names.back() != name) names.push_back(name);
    }
    return names;
}

}  // namespace

CommandView ViewOf(std::uint8_t opcode) {
    const TCommandInfo* info = FindCommandInfo(opcode);
    if (info == nullptr) return CommandView{opcode, {}, {}, {}};
    if (!info->sentByRegister) return CommandView{opcode, info->name, {}, {}};
    return CommandView{opcode, info->name, NamesOf(*info, layout::Request), NamesOf(*info, layout::Answer)};
}

}  // namespace tessel::cli
