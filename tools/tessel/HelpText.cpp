#include "tools/tessel/HelpText.h"

namespace tessel::cli {

std::string_view HelpText() {
    return R"help(Usage: tessel [--keep-going] [--quiet] STEP...
       tessel [--keep-going] [--quiet] -f FILE [STEP...]
       tessel ports [map N PATH | unmap N | udev-rule]   (serial devices, COM mapping; tessel ports --help)
       tessel stats [--json] [--reset]       (the line statistics per port and register; see tessel stats --help)
       tessel doctor                         (checks the driver, the ports, the register, the log, the statistics)
       tessel report FILE                    (a support bundle: one tar archive; see tessel report --help)
       tessel --help

The command-line client of the cash register driver. It creates the driver by its ProgID
(Addin.TesselDriver), as every client does, and carries out the steps in order through late binding.
Member names may be English or Russian, in any case. The run stops at the first step that fails.

Options (before the steps):
  --keep-going       run the steps after a failed one as well (the exit status still says it failed)
  --quiet            no progress at all from tables and search (as --quiet on each of them)

Settings persist: the driver keeps the connection settings of its current logical device (PortNumber,
BaudRate, DstAddress, Fuel) and its own (SrcAddress, Timeout, RepCount, LogEnabled, LogFileName) in its
settings store and starts every later run, of tessel or any other client, from them. So
"tessel set PortNumber=9 call Beep" leaves port 9 for the next "tessel call Beep" too; the settings step
shows what is kept.

Steps:
  set NAME=VALUE     write a property; the driver converts the text to the property's type (numbers with
                     a point or a comma or as &H1F / &O37, booleans as true/false or a number, dates as
                     dd.MM.yyyy HH:mm:ss, a two-digit year 00..29 in the 2000s, 30..99 in the 1900s).
                     A value in double quotes loses them, so it may begin or end with blanks.
                     A set that leaves a ResultCode other than 0 (a value the driver refuses, such as
                     PortNumber=99, or a port that does not open) prints "NAME: (CODE) DESCRIPTION" and
                     fails.
  call METHOD        call a method and print "METHOD: (CODE) DESCRIPTION" (the result code and
                     ResultDescription)
  get NAME           read a property and print "NAME = VALUE"
  wait MS            wait MS milliseconds (at most 86400000), delivering the driver's messages meanwhile
  pump               deliver the driver's messages that wait now
  members            list the driver's members from its type information, a line each:
                     DISPID, name, Russian name, kind (method, get, put) and type
  settings           print the settings the driver keeps for later runs: a comment line naming the
                     settings file, then LDNumber, LDName, PortNumber, BaudRate (1..8: 1200, 2400,
                     4800, 9600, 19200, 38400, 57600, 115200 baud), DstAddress, Fuel, SrcAddress,
                     Timeout, RepCount, LogEnabled and LogFileName as "NAME = VALUE"
  listen [SECONDS] [RULES] [count=N]
                     open the port (a port that does not open prints "listen: (CODE) DESCRIPTION" and
                     fails), then print every command the register sends as it arrives and answer the
                     requests that RULES covers; ends after SECONDS (0 or none: no limit), after N
                     commands, or on SIGINT or SIGTERM. A rules file named by digits alone is written
                     as ./NAME.
  tables export FILE [TABLE...] [--retry N] [--quiet]
                     read the register's tables (all, or the numbers given) and write them to the export
                     file FILE (.xch, Windows-1251); prints "Exported T table(s), C cell(s) to FILE".
                     A FILE that cannot be written is refused before the register is read. Of two
                     tables whose names are one section name, the second is not written: tessel says
                     so and the step fails.
  tables import FILE [--retry N] [--quiet]
                     write to the register every cell that FILE holds; prints "Imported T table(s), C
                     cell(s) written from FILE" and the cells skipped because a number lies outside its
                     field's range. The whole file is checked first and nothing is written when it does
                     not fit: a damaged file (named with its line), a UTF-8 file ("the file is UTF-8;
                     export files are Windows-1251"), a section that names no table of the register.
                     Lines without "=" are skipped and counted.
                     Both show their progress on standard error, as one line rewritten in place on a
                     terminal, as plain lines otherwise, not at all with --quiet. A failed device step
                     is repeated up to N times in a row (--retry, 0 to 100, default 0); then the step
                     fails with the register's code and text. An export that does not finish leaves
                     FILE as it was.
  search [--ports LIST] [--speeds LIST] [--kinds LIST] [--save] [--quiet]
                     find the registers on the ports (serial, or mapped to a network address: see
                     tessel ports); each one found is printed as a line
                       COM<PORT>[=<NETWORK ADDRESS>] <BAUD> <KIND> <ADDRESS> <DESCRIPTION>
                     with KIND normal or fuel. The request goes out on every chosen port at one speed
                     and kind, and the answers of all ports are awaited together; a port mapped to a
                     raw tcp:// stream is tried at the first speed only (its converter keeps its own).
                     The lists are comma-separated: ports as numbers and
                     ranges (1,3-5; 1 to 32), speeds in baud (9600,115200), kinds normal and fuel; a list
                     not given is taken from the saved search parameters, which --save replaces. The
                     driver's PortNumber, BaudRate, Fuel, SrcAddress and DstAddress are put back after
                     the search. Progress (the port being searched) goes to standard error (none with
                     --quiet), then "Found N register(s)"; finding none fails.
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
CommandResultCode=0, the answer properties of the request's opcode empty: 0 or no text), runs the
section's steps and sends the answer with SendCommand. A request without a section stays unanswered; so
does one whose section has a set that fails. Blank lines and lines starting with # are skipped.

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
steps; tessel says "tessel: interrupted" and the driver is released cleanly.

Exit status: 0 every step succeeded; 1 a step failed: a method yielded a code other than 0, a set left
one, a listen's port did not open, a search found nothing, a table transfer failed (the steps after it
are skipped unless --keep-going); 2 a usage mistake (a search with no port, speed or kind chosen among
them), an import file that does not fit or an export file that cannot be written, a table the register
does not have, a member name or value the driver refused, or the driver could not be created (register
it with "tessel-regsvr LIBRARY", LIBRARY being the driver library libTesselDrv.so); 130 after SIGINT,
143 after SIGTERM (128 and the signal's number, as the shell reports a program a signal ended).

doctor checks in order: the driver is registered and loads; for each logical device, which device its
COM number reaches, that the user may open it (the group, and the usermod line), that no other program
holds it (which one, ModemManager too), that the register answers at the saved settings (else a short
search over the speeds says where it answers); the log's place and size; the line statistics' warning
signs. One line "ok", "FAIL" or "warn" per finding, a "->" line with what to do after each failure; exit
status 0 when all is well, 1 otherwise.

Language: tessel speaks English; what the driver and the register say (result descriptions, mode texts,
the names of tables and fields, the values) is printed as they give it, in Russian.

Settings: the driver reads its registration and settings from $TESSEL_REGISTRY_DIR, else
$XDG_CONFIG_HOME/tessel, else ~/.config/tessel (classes.reg, user.reg).

Examples:
  tessel set PortNumber=1 call GetECRStatus get ECRModeDescription get РежимККМ
  tessel settings
  tessel doctor
  tessel search --ports 1-4 --speeds 9600,115200
  tessel set PortNumber=1 tables export backup.xch set PortNumber=2 tables import backup.xch
)help";
}

}  // namespace tessel::cli
