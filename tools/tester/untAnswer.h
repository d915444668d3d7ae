#pragma once
// The register's side played by the test program: a command the driver received (IDriverEvents.Command)
// is taken from the driver and, when it is a request, answered, either from the command descriptions'
// output values ("Команды") or with the receipt totals kept ("Чеки").

#include <cstdint>
#include <optional>
#include <string>

#include "tools/tester/Driver.h"
#include "tools/testerlib/untCmdValue.h"
#include "tools/testerlib/untCommand.h"

namespace tessel::tst {

// What the pages need of a received command once the driver has copied it into the current command.
struct TReceivedCommand {
    LONG Code = 0;
    LONG Type = 0;  // 0 a request, else an answer
    bool Execute = false;
    bool Rollback = false;
};

// Takes the received command numbered `id`: CommandID, GetCommandParams, DeleteCommand. Nothing when
// GetCommandParams fails; its result is then in `result`. A failing DeleteCommand raises EDriverError.
std::optional<TReceivedCommand> TakeCommand(TDriver& driver, std::int32_t id, LONG& result);

// Answers the request in the current command with result 0: CommandType 1, back to its sender from the
// driver's SrcAddress, without waiting (an answer gets none). The result of SendCommand.
LONG SendAnswer(TDriver& driver);

// The "Команды" page's answer to a command it took: nothing for an opcode it does not describe or for an
// answer (0); for a request, the description's output values written to the driver by property name (a
// refused value raises cmd::ECmdDriverError "Ошибка при записи свойства ..."), then the answer sent.
LONG AnswerFromDescription(TDriver& driver, const TReceivedCommand& command, const cmd::TCommands& commands,
                           const cmd::TCmdDateForms& forms);

// "CommandCode  Execute  Rollback" and the line under it: the head of the "Команды" page's list.
inline constexpr char kCommandsHeader[] = "CommandCode  Execute  Rollback\n---------------------------------";
// One line of that list: the opcode in hex under CommandCode, the flags as 1 or 0 under theirs.
std::string CommandLine(const TReceivedCommand& command);

// The receipts the register reports while the "Чеки" page answers it. Money in 1/10000.
class TReceipts {
  public:
    // A registration (80h): a rollback takes the last line back first; a new receipt starts after a closed
    // one; the line (price × quantity, rounded to the money unit) is added.
    void Registration(LONGLONG price, double quantity, bool rollback);
    // The receipt closed (90h): counted and added to the total.
    void Close();
    // "Сбросить": everything zero.
    void Reset() { *this = TReceipts(); }

    LONGLONG ReceiptSum() const { return receipt_; }
    LONGLONG Total() const { return total_; }
    int Count() const { return count_; }

  private:
    LONGLONG receipt_ = 0;
    LONGLONG total_ = 0;
    LONGLONG lastLine_ = 0;
    int count_ = 0;
    bool closed_ = false;
};

// The "Чеки" page's answer to a command it took: nothing for an answer; otherwise the answer sent, and a
// registration or a closing counted in `receipts` (reading Price and Quantity for a registration) only when
// it went out. The result of SendCommand.
LONG AnswerReceipt(TDriver& driver, const TReceivedCommand& command, TReceipts& receipts);

// Money with two to four fraction digits: 125000 -> "12.50", 93750 -> "9.375".
std::string RoublesText(LONGLONG amount);

}  // namespace tessel::tst
