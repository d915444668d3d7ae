#pragma once
// Page "Команды": while it is the visible page, every command the driver receives is listed (opcode,
// execute and rollback flags), and a request of a described opcode is answered with its description's
// output values (the command tester's list with its defaults).

#include "tools/tester/untPages.h"
#include "tools/testerlib/QtDateForms.h"
#include "tools/testerlib/untCommand.h"

class QPlainTextEdit;
class QPushButton;

namespace tessel::tst {

class TfmCommandsPage final : public TAnsweringPage {
  public:
    explicit TfmCommandsPage(TPages& pages);

    // "Очистить": the list back to its header, and the line of a failed answer cleared.
    void Clear();

    const cmd::TCommands& Commands() const { return commands_; }

  protected:
    // Lists the command and answers it.
    LONG Answer(TDriver& driver, const TReceivedCommand& command) override;

  private:
    TQtDateForms forms_;
    cmd::TCommands commands_;
    QPlainTextEdit* memCommands_;
};

}  // namespace tessel::tst
