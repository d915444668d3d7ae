#pragma once
// Scripts of the registers' own requests: a sale played line by line.
//
// The text form, one request a line:
//     # a comment (also after ';'; both run to the end of the line outside double quotes)
//     register 2                      the address that sends the requests below (default: the parser's)
//     80 Price=12.50 Quantity=1.000   an opcode in hex ("80" or "80h"), then Name=Value pairs
//     rollback 80 Quantity=2.000      a request that undoes the last one answered and takes its place
// Opcodes are the register's own requests of the command list (80h-88h, 90h, 91h, 50h-52h); names are the
// names of the request rows of the opcode's field table (Code for the article or discount code). Values:
// bytes and words decimal; money with a point and up to four decimals (12.50); quantities with a point and
// up to three decimals (1.000); texts in double quotes, UTF-8, with \" and \\ as escapes; codes decimal.
// Fields not named keep 0 or an empty text.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/platform/Bytes.h"
#include "driver/link/untCommand.h"

class EmuLine;

// A script that cannot be read: the message is "line N: <reason>", after "<file>: " when read from one.
class EmuScriptError : public std::invalid_argument {
  public:
    EmuScriptError(int line, const std::string& reason, const std::string& file = {});
    int Line() const { return line_; }
    const std::string& Reason() const { return reason_; }

  private:
    int line_;
    std::string reason_;
};

// One request of a script: the object of its opcode's class with the request fields set.
struct EmuScriptStep {
    int line = 0;
    std::uint8_t address = 0;
    std::unique_ptr<TCommand> request;
    bool rollback = false;  // sent with the counters of the last request answered

    std::uint8_t Opcode() const { return request->Code; }
    // Opcode and encoded request block, as the register sends them. Never fails: the parser has encoded
    // every step once.
    Bytes Payload() const;
};

using EmuFieldList = std::vector<std::pair<std::string, std::string>>;

// The request or answer fields of a command object of one of the script's opcodes (taken from its Code),
// as Name=Value pairs in the script's text forms and in the order of the block. Empty for another opcode or
// an object of another class.
EmuFieldList RequestFields(const TCommand& command);
EmuFieldList AnswerFields(const TCommand& command);

// Sets one request field of `command` (of its Code's class) from its script text. Throws
// std::invalid_argument naming the field for an unknown name or a value out of its form or range.
void SetRequestField(TCommand& command, std::string_view name, std::string_view value);
// The same for an answer field (a client's answer, or a test's expectation).
void SetAnswerField(TCommand& command, std::string_view name, std::string_view value);

// Money and quantity in the script's forms: "12.50" (two decimals unless the value needs four), "1.000".
std::string FormatMoney(std::int64_t value);
std::string FormatQuantity(double value);

class EmuScript {
  public:
    // Reads a script; `defaultAddress` sends the requests before the first `register` line. Throws
    // EmuScriptError for the first line that cannot be read: syntax, an opcode without script fields, an
    // unknown or repeated field, a value out of its form or its field's range, a request too long for a
    // frame.
    static EmuScript Parse(std::string_view text, std::uint8_t defaultAddress = 2);
    // Reads a script file; std::runtime_error naming the file when it cannot be read.
    static EmuScript Load(const std::string& path, std::uint8_t defaultAddress = 2);
    // A whole sale: registrations by price, code and barcode, the four discounts, payment on request and
    // free, closing; a receipt corrected by a rollback and cancelled; then cash in, cash out and the closing
    // of the shift. It names no register: the parser's default address plays it.
    static std::string_view ExampleText();

    const std::vector<EmuScriptStep>& Steps() const { return steps_; }

  private:
    std::vector<EmuScriptStep> steps_;
};

// What one step got: the decoded answer, or none (error says why).
struct EmuStepOutcome {
    std::unique_ptr<TCommand> answer;
    std::string error;
};

// Sends the steps in order from their registers, each waiting at most `timeoutMs` for its answer, and
// calls `report` after each. Stops after the first step without an answer (a time-out, a stopped line, a
// register not served); returns whether every step was answered. `report` may be empty.
bool RunScript(EmuLine& line, const EmuScript& script, std::uint32_t timeoutMs,
               const std::function<void(const EmuScriptStep&, const EmuStepOutcome&)>& report);

// One line for a step's outcome: `LINE n ADDR a OP xxh ANSWER r "text" Name=Value ...` or
// `LINE n ADDR a OP xxh NO ANSWER (why)`.
std::string DescribeOutcome(const EmuScriptStep& step, const EmuStepOutcome& outcome);

// Runs the script and returns the described outcomes, one a line.
std::string RunScriptText(EmuLine& line, const EmuScript& script, std::uint32_t timeoutMs);
