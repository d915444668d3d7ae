#pragma once
// The command tester's descriptions of the protocol commands: for each opcode its name and the driver
// properties that carry its input and output parameters. Values are held as text and converted only when
// they cross to the driver (untCmdValue.h). Unrelated to the driver's own protocol command class.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/testerlib/untCmdValue.h"

namespace tessel::cmd {

// One parameter of a command.
struct TCmdParam {
    std::string Name;      // the automation property that carries it
    std::string Caption;   // what the grid shows
    int Type = ptInteger;  // TCmdParamType, or another code: a string
    std::string Default;
    std::string Text;       // the current value
    bool ReadOnly = false;  // never written to the driver
};
using TCmdParams = std::vector<TCmdParam>;

// One command: opcode, name and parameters, inputs first.
struct TCommand {
    std::uint8_t Code = 0;
    std::string Name;
    TCmdParams InParams;
    TCmdParams OutParams;

    // Inputs, then outputs: the order of the grid's rows and of the ini file's keys.
    std::size_t ParamCount() const { return InParams.size() + OutParams.size(); }
    // The parameter at `index` of that order. Throws std::out_of_range past the end.
    TCmdParam& Param(std::size_t index);
    const TCmdParam& Param(std::size_t index) const;
    // Every parameter's current text set to its default.
    void ResetToDefaults();
};

// The command list in display order; it owns its commands.
class TCommands {
  public:
    std::size_t Count() const { return items_.size(); }
    // Index checked: throws std::out_of_range past the end.
    TCommand& Items(std::size_t index) { return items_.at(index); }
    const TCommand& Items(std::size_t index) const { return items_.at(index); }
    // The first command with the opcode `code`, or null. `code` is not cut to a byte: 111h finds nothing.
    TCommand* FindByCode(long code);
    const TCommand* FindByCode(long code) const;
    // Position of the first command with the opcode, or -1.
    int IndexOfCode(long code) const;

    TCommand& Add(TCommand command);
    void ResetToDefaults();

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::vector<TCommand> items_;
};

// The tester's own settings.
struct TAppParams {
    static constexpr int DefTimeout = 1000;
    static constexpr bool DefSendAnswer = true;
    static constexpr bool DefWaitAnswer = false;

    int Timeout = DefTimeout;         // ms the driver waits for an answer
    bool SendAnswer = DefSendAnswer;  // answer a received request from the grid
    bool WaitAnswer = DefWaitAnswer;  // wait for the answer of a command sent
};

// "%d. %s": the 1-based position and the name, as the command list shows a command.
std::string ListText(std::size_t index, const TCommand& command);

}  // namespace tessel::cmd
