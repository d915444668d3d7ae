#include "tools/tester/untAnswer.h"

#include <cmath>

#include "common/platform/TextFormat.h"

namespace tessel::tst {

namespace {

constexpr LONG kRegistration = 0x80;
constexpr LONG kCloseReceipt = 0x90;

}  // namespace

std::optional<TReceivedCommand> TakeCommand(TDriver& driver, std::int32_t id, LONG& result) {
    driver.PutLong("CommandID", id);
    result = driver.Call("GetCommandParams");
    if (result != 0) return std::nullopt;
    driver.Check("DeleteCommand");
    TReceivedCommand command;
    command.Code = driver.GetLong("CommandCode");
    command.Type = driver.GetLong("CommandType");
    command.Execute = driver.GetBool("CommandExecuteFlag");
    command.Rollback = driver.GetBool("CommandRollbackFlag");
    return command;
}

LONG SendAnswer(TDriver& driver) {
    driver.PutLong("CommandType", 1);
    driver.PutLong("CommandDstAddress", driver.GetLong("CommandSrcAddress"));
    driver.PutLong("CommandSrcAddress", driver.GetLong("SrcAddress"));
    // Nobody answers an answer: waiting would only hold the window for the time-out and end in a failure.
    driver.PutBool("WaitAnswer", false);
    return driver.Call("SendCommand");
}

LONG AnswerFromDescription(TDriver& driver, const TReceivedCommand& command, const cmd::TCommands& commands,
                           const cmd::TCmdDateForms& forms) {
    const cmd::TCommand* description = commands.FindByCode(command.Code);
    if (description == nullptr || command.Type != 0) return 0;
    driver.Calls().WriteParams(description->OutParams, forms);
    return SendAnswer(driver);
}

std::string CommandLine(const TReceivedCommand& command) {
    return FormatText("%-11s  %-7d  %d", FormatText("%02Xh", static_cast<unsigned>(command.Code)).c_str(),
                      command.Execute ? 1 : 0, command.Rollback ? 1 : 0);
}

void TReceipts::Registration(LONGLONG price, double quantity, bool rollback) {
    if (rollback) receipt_ -= lastLine_;
    if (closed_) {
        receipt_ = 0;
        closed_ = false;
    }
    // Rounded half away from zero, as the register rounds its sums.
    lastLine_ = std::llround(static_cast<long double>(price) * quantity);
    receipt_ += lastLine_;
}

void TReceipts::Close() {
    ++count_;
    total_ += receipt_;
    closed_ = true;
}

LONG AnswerReceipt(TDriver& driver, const TReceivedCommand& command, TReceipts& receipts) {
    if (command.Type != 0) return 0;
    // Counted once the register has its answer: a request left unanswered is asked again, or undone.
    TReceipts after = receipts;
    if (command.Code == kRegistration)
        after.Registration(driver.GetMoney("Price"), driver.GetDouble("Quantity"), command.Rollback);
    else if (command.Code == kCloseReceipt)
        after.Close();
    const LONG result = SendAnswer(driver);
    if (result == 0) receipts = after;
    return result;
}

std::string RoublesText(LONGLONG amount) {
    const bool negative = amount < 0;
    const auto magnitude =
        negative ? 0 - static_cast<unsigned long long>(amount) : static_cast<unsigned long long>(amount);
    std::string fraction = FormatText("%04llu", magnitude % 10000);
    while (fraction.size() > 2 && fraction.back() == '0') fraction.pop_back();
    return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
}

}  // namespace tessel::tst
