#include "tools/testerlib/untCommand.h"

#include <stdexcept>

#include "common/platform/TextFormat.h"

namespace tessel::cmd {

TCmdParam& TCommand::Param(std::size_t index) {
    return const_cast<TCmdParam&>(static_cast<const TCommand&>(*this).Param(index));
}

const TCmdParam& TCommand::Param(std::size_t index) const {
    if (index < InParams.size()) return InParams[index];
    index -= InParams.size();
    if (index < OutParams.size()) return OutParams[index];
    throw std::out_of_range("no parameter " + std::to_string(index + InParams.size()) + " in command " +
                            Name);
}

void TCommand::ResetToDefaults() {
    for (TCmdParams* params : {&InParams, &OutParams})
        for (TCmdParam& p : *params) p.Text = p.Default;
}

TCommand* TCommands::FindByCode(long code) {
    return const_cast<TCommand*>(static_cast<const TCommands&>(*this).FindByCode(code));
}

const TCommand* TCommands::FindByCode(long code) const {
    const int index = IndexOfCode(code);
    return index < 0 ? nullptr : &items_[static_cast<std::size_t>(index)];
}

int TCommands::IndexOfCode(long code) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Code == code) return static_cast<int>(i);
    return -1;
}

TCommand& TCommands::Add(TCommand command) {
    return items_.emplace_back(std::move(command));
}

void TCommands::ResetToDefaults() {
    for (TCommand& c : items_) c.ResetToDefaults();
}

std::string ListText(std::size_t index, const TCommand& command) {
    return FormatText("%d. %s", static_cast<int>(index + 1), command.Name.c_str());
}

}  // namespace tessel::cmd
