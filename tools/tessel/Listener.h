#pragma once
// `listen`: prints every command the register sends as it arrives and, with rules, answers the requests.
//
// Output, per command (names as the driver knows them, values as ValueText.h gives them):
//   Command ID: XXh NAME          the number, the opcode in hex and the operation's name when it has one
//   CommandSrcAddress = 2
//   CommandType = 0               0 for a request, 1 for an answer
//   then, for a request, CommandExecuteFlag, CommandRollbackFlag and the properties decoded from it; for an
//   answer, CommandResultCode, CommandResultDescription and, on success, the properties decoded from it;
//   then the answer's "SendCommand: (CODE) TEXT" when a rule answered it.
// Around them: "Listening (...)" once the port is open and the sink connected, and "Listened: N command(s)"
// at the end. A port that does not open gives "listen: (CODE) DESCRIPTION" instead and nothing else.
//
// An answer starts from empty answer properties of the request's opcode (0, or an empty text), so that
// what an earlier answer or request left in them is never sent again; then the rule's steps fill them.

#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/tessel/CommandSink.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/Rules.h"
#include "tools/tessel/Session.h"

namespace tessel::cli {

class Listener {
  public:
    // `rules` may be null: commands are then printed, not answered. `sink` keeps the numbers that one listen
    // leaves for the next. Checks every member name the rules use, so that a misspelt one stops the run
    // before a request is left unanswered: throws DispatchError.
    Listener(Session& session, MessagePump& pump, CommandSink& sink, const ListenOptions& options,
             const AnswerRules* rules);

    // Opens the port, connects the sink, pumps until the time is up, the count is reached or a stop signal
    // comes, and disconnects. False when the port did not open or a rule's set failed (its answer is then not
    // sent). Throws std::runtime_error when the driver refuses the sink, DispatchError when it refuses a step
    // of a rule.
    bool Run();
    // The number of commands handled.
    std::uint32_t Handled() const { return handled_; }

  private:
    void Handle(std::int32_t id);
    void Answer(std::uint8_t opcode, const std::vector<Step>& steps);
    // Sets the answer properties of `opcode` to 0 or an empty text.
    void EmptyAnswer(std::uint8_t opcode);
    void ShowAll(const std::vector<std::string_view>& names);

    Session& session_;
    MessagePump& pump_;
    CommandSink& sink_;
    ListenOptions options_;
    const AnswerRules* rules_;
    std::uint32_t handled_ = 0;
    bool ruleFailed_ = false;
};

}  // namespace tessel::cli
