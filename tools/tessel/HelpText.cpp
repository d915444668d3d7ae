#include "tools/tessel/HelpText.h"

namespace tessel::cli {

std::string_view HelpText() {
    return R"help(Usage: tessel STEP...
       tessel -f FILE [STEP...]
       tessel --help

The command-line client of the cash register driver. It creates the driver by its ProgID
(Addin.TesselDriver), as every client does, and carries out the steps in order through late binding.
Member names may be English or Russian, in any case.

Steps:
  set NAME=VALUE     write a property; the driver converts the text to the property's type (numbers with
                     a point or a comma, booleans as true/false or a number, dates as dd.MM.yyyy HH:mm:ss).
                     A value in double quotes loses them, so it may begin or end with blanks.
  call METHOD        call a method and print "METHOD: (CODE) DESCRIPTION" (the result code and
                     ResultDescription)
  get NAME           read a property and print "NAME = VALUE"
  wait MS            wait MS milliseconds (at most 86400000), delivering the driver's messages meanwhile
  pump               deliver the driver's messages that wait now
  members            list the driver's members from its type information, a line each:
                     DISPID, name, Russian name, kind (method, get, put) and type
  listen [SECONDS] [RULES] [count=N]
                     print every command the register sends as it arrives and answer the requests that
                     RULES covers; ends after SECONDS (0 or none: no limit), after N commands, or on
                     SIGINT or SIGTERM. A rules file named by digits alone is written as ./NAME.
  tables export FILE [TABLE...] [--retry N] [--quiet]
                     read the register's tables (all, or the numbers given) and write them to the export
                     file FILE (.xch); prints "Exported T table(s), C cell(s) to FILE"
  tables import FILE [--retry N] [--quiet]
                     write to the register every cell that FILE holds; prints "Imported T table(s), C
                     cell(s) written from FILE" and the cells skipped because a number lies outside its
                     field's range. The whole file is checked first: a damaged file is refused with its
                     name and line and nothing is written.
                     Both show their progress on standard error, as one line rewritten in place on a
                     terminal, as plain lines otherwise or with --quiet. A failed device step is repeated
                     up to N times in a row (--retry, 0 to 100, default 0); then the step fails with the
                     register's code and text. An export that does not finish leaves FILE as it was.
  search [--ports LIST] [--speeds LIST] [--kinds LIST] [--save] [--quiet]
                     find the registers on the serial ports; each one found is printed as a line
                       COM<PORT> <BAUD> <KIND> <ADDRESS> <DESCRIPTION>
                     with KIND normal or fuel. The lists are comma-separated: ports as numbers and
                     ranges (1,3-5; 1 to 32), speeds in baud (9600,115200), kinds normal and fuel; a list
                     not given is taken from the saved search parameters, which --save replaces. The
                     driver's PortNumber, BaudRate, Fuel, SrcAddress and DstAddress are put back after
                     the search. Progress (the port being searched) goes to standard error.
  -f FILE            the steps of FILE, one a line, in this place; '#' starts a comment line; for set
                     the rest of the line is NAME=VALUE

Values are printed as: booleans true or false; currency with a point and two to four decimals (45.50);
other numbers in decimal with a point; dates dd.MM.yyyy HH:mm:ss (the date or the time alone when the
other part is zero); texts as they are, control characters as \xNN and a backslash as \\.
Names are printed as they were written in the step.

listen prints, for every command:
  Command ID: XXh NAME           its number, opcode and operation
  CommandSrcAddress = A          the register that sent it
  CommandType = T                0 a request, 1 an answer
  then for a request CommandExecuteFlag, CommandRollbackFlag and its decoded properties; for an answer
  CommandResultCode, CommandResultDescription and its decoded properties; then the answer's
  "SendCommand: (CODE) DESCRIPTION" when a rule answered it. It begins with "Listening (...)" once it
  receives events and ends with "Listened: N command(s)". Every command is deleted once handled.

Rules file: sections of answer steps, each headed by the opcodes (hex) it answers or * for every other
request; a section holds set and get steps. For a request with a section tessel prepares the answer
(CommandType=1, the register's address as CommandDstAddress, SrcAddress as CommandSrcAddress,
CommandResultCode=0), runs the section's steps and sends the answer with SendCommand. A request without a
section stays unanswered. Blank lines and lines starting with # are skipped.

  # goods by article code
  [81]
  set Text=Молоко 3,2%
  set Price=45.50
  set Section=1
  set Tax1=1
  # the sum the card pays
  [88]
  set PayType=2
  set Summ=80.30
  # everything else is accepted as it is
  [*]

A stop signal (SIGINT, SIGTERM) ends the wait, listen or search in progress, aborts a table transfer
(an export then writes no file), or ends the call in progress once it returns, and skips the remaining
steps; the driver is released cleanly.

Exit status: 0 every method yielded 0 and every search found a register; 1 some method yielded another
code, a search found nothing, or a table transfer failed or was aborted (the steps after it are
skipped); 2 a usage mistake (a search with no port, speed or kind chosen among them), a missing or
damaged import file, a table the register does not have, a member name or value the driver refused,
or the driver could not be created (register it with "tessel-regsvr LIBRARY", LIBRARY being the
driver library libTesselDrv.so).

Settings: the driver reads its registration and settings from $TESSEL_REGISTRY_DIR, else
$XDG_CONFIG_HOME/tessel, else ~/.config/tessel.

Examples:
  tessel set PortNumber=1 call GetECRStatus get ECRModeDescription get РежимККМ
  tessel search --ports 1-4 --speeds 9600,115200
  tessel set PortNumber=1 tables export backup.xch set PortNumber=2 tables import backup.xch
)help";
}

}  // namespace tessel::cli
