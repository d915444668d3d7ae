#include "tools/emulator/EmuProgram.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "common/platform/Registry.h"
#include "driver/link/EcrFrame.h"
#include "driver/link/untCodecs.h"

namespace {

constexpr char kPortsKey[] = "Software\\Korvex\\TesselDrv\\TesselDrv\\Ports";
constexpr std::uint8_t kDefaultAddress = 2;
constexpr int kMaxComPort = 32;  // the driver's port numbers
constexpr std::uint32_t kMaxMs = 600'000;
// `send` holds the command loop while it waits, and with it the reaction to a stop signal.
constexpr std::uint32_t kMaxAnswerMs = 60'000;
// The speeds the driver sets (its BaudRate codes 1 to 8).
constexpr std::uint32_t kDriverSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

std::uint64_t ParseNumber(std::string_view text, std::uint64_t min, std::uint64_t max,
                          const std::string& what) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
        value > max) {
        throw std::invalid_argument(what + ": expected a number from " + std::to_string(min) + " to " +
                                    std::to_string(max) + ", got \"" + std::string(text) + "\"");
    }
    return value;
}

// Hex digits in pairs, blanks between pairs allowed ("80 01", "8001"); either letter case.
Bytes ParseHex(std::string_view text, const std::string& what) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument(what + ": \"" + std::string(text) + "\" is not hex");
        }
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (digits.size() % 2 != 0) throw std::invalid_argument(what + ": an odd number of hex digits");
    return HexToBytes(digits);
}

std::optional<std::uint64_t> ParseIdentity(std::string_view text, std::uint64_t max,
                                           const std::string& what) {
    if (text == "none") return std::nullopt;
    return ParseNumber(text, 0, max, what);
}

// "P:MIN-MAX[:SEED]".
EmuLateness ParseLateness(std::string_view text) {
    const std::string what = "--late";
    const auto colon = text.find(':');
    const auto dash = text.find('-', colon == std::string_view::npos ? 0 : colon);
    if (colon == std::string_view::npos || dash == std::string_view::npos)
        throw std::invalid_argument(what + " expects P:MIN-MAX[:SEED], got \"" + std::string(text) + "\"");
    const auto seedColon = text.find(':', dash);
    EmuLateness l;
    l.percent = static_cast<std::uint32_t>(ParseNumber(text.substr(0, colon), 0, 100, what));
    l.minMs =
        static_cast<std::uint32_t>(ParseNumber(text.substr(colon + 1, dash - colon - 1), 0, kMaxMs, what));
    const std::string_view max = text.substr(
        dash + 1, seedColon == std::string_view::npos ? std::string_view::npos : seedColon - dash - 1);
    l.maxMs = static_cast<std::uint32_t>(ParseNumber(max, l.minMs, kMaxMs, what));
    if (seedColon != std::string_view::npos)
        l.seed = static_cast<std::uint32_t>(ParseNumber(text.substr(seedColon + 1), 0, 0xFFFFFFFFu, what));
    return l;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string Join(const std::vector<std::string>& words, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < words.size(); ++i) out += words[i];
    return out;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Walks the arguments, giving each option its value ("--opt VALUE" or "--opt=VALUE").
class ArgReader {
  public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}

    bool Next() {
        if (index_ >= args_.size()) return false;
        const std::string& arg = args_[index_++];
        const auto eq = arg.find('=');
        name_ = arg.substr(0, eq);
        inline_ = eq == std::string::npos ? std::nullopt : std::optional(arg.substr(eq + 1));
        return true;
    }
    const std::string& Name() const { return name_; }
    std::string Value() {
        if (inline_) return *inline_;
        if (index_ >= args_.size()) throw std::invalid_argument(name_ + " needs a value");
        return args_[index_++];
    }
    void NoValue() const {
        if (inline_) throw std::invalid_argument(name_ + " takes no value");
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t index_ = 0;
    std::string name_;
    std::optional<std::string> inline_;
};

}  // namespace

EmuProgramOptions ParseOptions(const std::vector<std::string>& args) {
    EmuProgramOptions o;
    ArgReader r(args);
    while (r.Next()) {
        const std::string& name = r.Name();
        if (name == "--device") {
            o.device = r.Value();
            if (o.device.empty()) throw std::invalid_argument("--device needs a path");
        } else if (name == "--listen") {
            o.listen = ParseListenAddress(r.Value());
        } else if (name == "--rfc2217") {
            r.NoValue();
            o.rfc2217 = true;
        } else if (name == "--com") {
            o.comPort = static_cast<int>(ParseNumber(r.Value(), 1, kMaxComPort, name));
        } else if (name == "--address") {
            const auto address = static_cast<std::uint8_t>(ParseNumber(r.Value(), 1, 255, name));
            if (std::find(o.addresses.begin(), o.addresses.end(), address) != o.addresses.end()) {
                throw std::invalid_argument("--address " + std::to_string(address) + " given twice");
            }
            o.addresses.push_back(address);
        } else if (name == "--computer") {
            o.computerAddress = static_cast<std::uint8_t>(ParseNumber(r.Value(), 0, 255, name));
        } else if (name == "--counters") {
            o.countersDirectory = r.Value();
        } else if (name == "--baud") {
            const std::string value = r.Value();
            const auto speed = std::find_if(std::begin(kDriverSpeeds), std::end(kDriverSpeeds),
                                            [&value](std::uint32_t s) { return std::to_string(s) == value; });
            if (speed == std::end(kDriverSpeeds)) {
                throw std::invalid_argument(
                    "--baud: expected a speed the driver sets (1200, 2400, 4800, 9600, "
                    "19200, 38400, 57600 or 115200), got \"" +
                    value + "\"");
            }
            o.baud = *speed;
            o.pacing.baud = *speed;
        } else if (name == "--split") {
            o.pacing.split = ParseNumber(r.Value(), 1, kMaxFrameLength * 2, name);
        } else if (name == "--timeout") {
            o.answerTimeoutMs = static_cast<std::uint32_t>(ParseNumber(r.Value(), 1, kMaxAnswerMs, name));
        } else if (name == "--delay") {
            o.delayMs = static_cast<std::uint32_t>(ParseNumber(r.Value(), 0, kMaxMs, name));
        } else if (name == "--exec-delay") {
            o.executionDelayMs = static_cast<std::uint32_t>(ParseNumber(r.Value(), 0, kMaxMs, name));
        } else if (name == "--late") {
            o.lateness = ParseLateness(r.Value());
        } else if (name == "--repeat-check") {
            const std::string value = r.Value();
            if (value == "counters") {
                o.repeatCheck = EmuRepeatCheck::Counters;
            } else if (value == "request") {
                o.repeatCheck = EmuRepeatCheck::Request;
            } else {
                throw std::invalid_argument("--repeat-check: expected counters or request, got \"" + value +
                                            "\"");
            }
        } else if (name == "--drop") {
            o.drop.push_back(ParseNumber(r.Value(), 1, std::numeric_limits<std::uint64_t>::max(), name));
        } else if (name == "--corrupt") {
            o.corrupt.push_back(ParseNumber(r.Value(), 1, std::numeric_limits<std::uint64_t>::max(), name));
        } else if (name == "--noise") {
            const std::string value = r.Value();
            const auto colon = value.find(':');
            if (colon == std::string::npos) throw std::invalid_argument("--noise expects N:HEX");
            const std::uint64_t number = ParseNumber(std::string_view(value).substr(0, colon), 1,
                                                     std::numeric_limits<std::uint64_t>::max(), name);
            Bytes bytes = ParseHex(std::string_view(value).substr(colon + 1), name);
            if (bytes.empty()) throw std::invalid_argument("--noise needs at least one byte");
            o.noise.emplace_back(number, std::move(bytes));
        } else if (name == "--serial") {
            o.serialNumber = ParseIdentity(r.Value(), 99'999'999ULL, name);
        } else if (name == "--inn") {
            o.inn = ParseIdentity(r.Value(), 999'999'999'999ULL, name);
        } else if (name == "--eklz") {
            o.eklzNumber = ParseIdentity(r.Value(), 9'999'999'999ULL, name);
        } else if (name == "--model") {
            o.modelFile = r.Value();
            if (o.modelFile.empty()) throw std::invalid_argument("--model needs a file");
        } else if (name == "--script") {
            o.scriptFile = r.Value();
            if (o.scriptFile.empty()) throw std::invalid_argument("--script needs a file");
        } else if (name == "--script-wait") {
            o.scriptWaitMs = static_cast<std::uint32_t>(ParseNumber(r.Value(), 0, kMaxMs, name));
        } else if (name == "--verbose") {
            r.NoValue();
            o.verbose = true;
        } else if (name == "--help" || name == "-h") {
            r.NoValue();
            o.help = true;
        } else {
            throw std::invalid_argument("unknown option " + name);
        }
    }
    if (o.rfc2217 && !o.listen) throw std::invalid_argument("--rfc2217 needs --listen");
    if (o.listen && !o.device.empty())
        throw std::invalid_argument("--listen serves the emulator's own pseudo-terminal, not a --device");
    if (o.listen) {
        o.listen->rfc2217 = o.rfc2217;
        o.listen->lineBaud = o.baud;
    }
    return o;
}

std::string HelpText() {
    return R"(Usage: TesselEmu [options]

The cash register's side of the line: one or more emulated registers answer the computer's commands
(01h, 10h-15h, 1Ah-1Fh, 20h-22h, 24h, 2Dh, 2Eh, FCh, and the search FAh) from a register model, send
requests of their own, and inject line faults on demand. Without --device a new pseudo-terminal is opened
and kept open until exit.

Line:
  --device PATH      serve the terminal PATH (a serial port, or the slave side of a pseudo-terminal made
                     by another program) instead of a new pseudo-terminal
  --com N            record COM<N> = the line's path (with --listen its network address; N 1..32) in
                     the settings store, key
                     HKEY_CURRENT_USER\Software\Korvex\TesselDrv\TesselDrv\Ports, so that the driver's
                     port N reaches the emulator (removed at exit, unless another program has
                     replaced it meanwhile)
  --address N        serve a register at address N (1..255; repeatable; default 2)
  --computer N       the computer's address, to which the registers send their requests (default 1)
  --counters DIR     keep the registers' sequence counters in DIR (default with --com N: the folder
                     emulator/COM<N> beside the settings store's files, so that the registers keep them
                     between runs as the driver does, and a restarted emulator's first request is not
                     refused as out of sequence; else a temporary folder, removed at exit)
  --baud RATE        the registers' speed: 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200 baud.
                     On the emulator's own pseudo-terminal the registers understand only what the driver
                     sends while its port is set to RATE (a pseudo-terminal keeps the speed the driver set),
                     so a search finds them at that one speed; what they send is paced to RATE, 10 bits a
                     byte. A --device is set to RATE. Default: 4800 baud, the driver's default speed
                     (BaudRate 3), without pacing
  --split N          write in pieces of N bytes, each paced to the line time with --baud
  --timeout MS       how long `send`, `sale` and --script wait for each answer of the computer (default
                     1000, at most 60000; a stop signal is taken once the request in progress has ended)
  --script FILE      once the line is up, the first register (or the one a `register N` line names) sends
                     the requests of FILE in order and each answer is printed decoded; the script ends at
                     the first request without an answer. FILE has one request a line: an opcode (80-88,
                     90, 91, 50-52) and Name=Value pairs of its request fields (money and quantities with
                     a point, texts in double quotes, numbers decimal); "register N" switches the sender;
                     "rollback" before a request sends it with the counters of the last request answered,
                     so that the computer executes it in that one's place; '#' starts a comment. A line that cannot be read stops the program (status 1).
                     The script starts once a program has opened the line (a pseudo-terminal made here)
                     or sent a byte, and the line was quiet for 100 ms after the opening
  --script-wait MS   how long the script waits for that (default 60000; then it starts anyway)
  --listen tcp:[HOST:]PORT
                     also reach the line over the network, as through a serial server in front of the
                     register: one computer at a time connects to HOST (default 127.0.0.1; 0.0.0.0 for
                     every interface) at PORT (0: any free port) and its bytes go to and from the
                     pseudo-terminal. Without --rfc2217 a raw byte stream that finds the line at the
                     registers' speed (the driver's tcp://); with --com N, COM<N> is mapped to the address
  --rfc2217          speak Telnet with the COM-port control option on the --listen port (the driver's
                     rfc2217://): the speed and data format the computer sets go to the pseudo-terminal,
                     where the registers see them as from a driver on the terminal itself

Faults (answers are numbered from 1 in the order they are sent, repetitions included):
  --delay MS         delay every answer by MS milliseconds
  --exec-delay MS    delay the answer of every executed request by MS milliseconds more; a repetition is
                     answered from the stored answer at once (a register slower than the computer's time-out)
  --late P:MIN-MAX[:SEED]
                     send P % of the answers (executed or repeated) MIN to MAX milliseconds late, drawn at
                     random, while the registers go on taking requests (the same SEED, default 1, plays the
                     same answers late)
  --drop N           do not send answer N (repeatable)
  --corrupt N        send answer N with a checksum that fails (repeatable)
  --noise N:HEX      send the bytes HEX before answer N (repeatable)

Register model (every register):
  --serial N|none    serial number (up to 8 digits), or "none": never entered
  --inn N|none       taxpayer number (up to 12 digits), or "none"
  --eklz N|none      ЭКЛЗ number (up to 10 digits), or "none"
  --model FILE       start from the registers, decimal point, clock and tables kept in FILE when it
                     exists; keep the first register's there at exit (a text file of "[section]" and
                     "key = value" lines: [register] point, clock; [cash], [operation], [rest] N = value;
                     [table T] ROW.FIELD = number or "text")

Sequence:
  --repeat-check counters|request
                     what a repetition (a request with the counters of the last one taken) must match to
                     be answered from the stored answer: "counters" (default), the rules to the letter,
                     whatever the request asks, and requests out of sequence are refused with result 204,
                     nothing executed; "request": also the same opcode and data, anything else is executed,
                     and requests out of sequence are executed too, as some registers do

Other:
  --verbose          print every frame on standard error
  --help, -h         print this text

Output: the first line is "PTY <path>" (the pseudo-terminal's slave side, for the driver to open) or
"DEVICE <path>"; with --listen a second line "LISTEN <address>" (tcp://HOST:PORT or rfc2217://HOST:PORT,
the port listened on). Then commands are read from standard input, one a line; the program runs until SIGINT or
SIGTERM and then exits with status 0 (1 when the line fails, 2 for bad options).

Commands:
  send ADDR HEX      the register at ADDR sends the request HEX (opcode and data) to the computer and
                     prints "ANSWER <result> \"<text>\" [DATA <hex>]" or "NO ANSWER"
  drop N             do not send answer N; +K: the K-th answer from now
  corrupt N          send answer N with a bad checksum; +K as for drop
  noise HEX          send the bytes HEX now
  delay MS           delay every answer by MS milliseconds
  exec-delay MS      delay the answer of every executed request by MS milliseconds more
  clear              forget every planned fault and the delays
  count ADDR OPCODE  how many times the register at ADDR executed requests with OPCODE (hex)
  sale [ADDR]        the register at ADDR (default: the first) plays a whole sale: registrations by price,
                     code and barcode, discounts, payment, closing, a receipt corrected by a rollback and
                     cancelled, cash in, cash out and closing the shift; prints a line per request,
                     "LINE n ADDR a OP xxh" and then "ANSWER <result> \"<text>\" Name=Value ..." or
                     "NO ANSWER" with the reason in brackets
  disconnect         with --listen: end the computer's connection, as a network that fails (the next
                     connection is taken as before)
  help               list the commands

Example:
  $ TesselEmu --address 2 --address 3 --com 1 --baud 9600 --split 8
  PTY /dev/pts/4
  drop +1
  OK answer 1 will be dropped
  send 2 83 01 02 03 04 05 06 07 08
  ANSWER 0 "Ошибок нет"
  count 2 11
  COUNT 1

Script example (the requests of `sale` begin so):
  # a registration at the register's price, then one by article code
  register 2
  80 RegType=1 Quantity=1.000 Price=12.50 Section=1 OperatorNumber=1
  81 RegType=1 Quantity=2.000 Code=123 OperatorNumber=1
)";
}

void RecordComPort(int comPort, const std::string& path) {
    tessel::Registry registry(tessel::Hive::CurrentUser);
    registry.OpenKey(kPortsKey, true);
    registry.WriteString("COM" + std::to_string(comPort), path);
}

std::string ComPortCounters(int comPort) {
    const std::string folder = tessel::RegistryDirectory() + "/emulator/COM" + std::to_string(comPort);
    std::filesystem::create_directories(folder);
    return folder;
}

void ForgetComPort(int comPort, const std::string& path) {
    tessel::Registry registry(tessel::Hive::CurrentUser);
    const std::string name = "COM" + std::to_string(comPort);
    if (!registry.OpenKey(kPortsKey, false) || !registry.ValueExists(name)) return;
    // Another emulator may have taken the port meanwhile: its mapping stays.
    if (registry.GetDataType(name) == tessel::RegValueType::String && registry.ReadString(name) == path)
        registry.DeleteValue(name);
}

std::string DescribeEvent(const EmuFrameEvent& event) {
    using Kind = EmuFrameEvent::Kind;
    std::string out;
    switch (event.kind) {
        case Kind::Received:
            out = "IN    ";
            break;
        case Kind::Sent:
            out = "OUT   ";
            break;
        case Kind::Dropped:
            out = "DROP  ";
            break;
        case Kind::Noise:
            out = "NOISE ";
            break;
        case Kind::Problem:
            out = "PROBLEM ";
            break;
    }
    out += Trimmed(BytesToHex(event.bytes));
    if (!event.crcOk) out += " [checksum failed]";
    if (!event.note.empty())
        out += (event.bytes.empty() ? "" : " (") + event.note + (event.bytes.empty() ? "" : ")");
    return out;
}

// ---- Emulator ----

Emulator::Emulator(const EmuProgramOptions& options) : options_(options) {
    // The script's requests come from the first register unless it names another.
    const std::uint8_t firstAddress =
        options_.addresses.empty() ? kDefaultAddress : options_.addresses.front();
    if (!options_.scriptFile.empty()) {
        script_ = std::make_unique<EmuScript>(EmuScript::Load(options_.scriptFile, firstAddress));
    }
    EmuLineOptions lineOptions;
    lineOptions.baud = options_.baud;
    lineOptions.pacing = options_.pacing;
    lineOptions.computerAddress = options_.computerAddress;
    lineOptions.repeatCheck = options_.repeatCheck;
    lineOptions.countersDirectory = options_.countersDirectory.empty() && options_.comPort
                                        ? ComPortCounters(*options_.comPort)
                                        : options_.countersDirectory;
    line_ = options_.device.empty() ? EmuLine::StartOnNewPty(lineOptions)
                                    : EmuLine::StartOnDevice(options_.device, lineOptions);

    EmuRegisterModel model;
    if (options_.serialNumber) model.serialNumber = *options_.serialNumber;
    if (options_.inn) model.inn = *options_.inn;
    if (options_.eklzNumber) model.eklzNumber = *options_.eklzNumber;
    if (!options_.modelFile.empty() && std::filesystem::exists(options_.modelFile)) {
        model = LoadModelFile(options_.modelFile, std::move(model));
    }
    const std::vector<std::uint8_t> addresses =
        options_.addresses.empty() ? std::vector<std::uint8_t>{kDefaultAddress} : options_.addresses;
    for (std::uint8_t address : addresses) line_->AddRegister(address, model);

    line_->SetAnswerDelay(options_.delayMs);
    line_->SetExecutionDelay(options_.executionDelayMs);
    line_->SetRandomLateness(options_.lateness);
    for (std::uint64_t n : options_.drop) line_->DropAnswer(n);
    for (std::uint64_t n : options_.corrupt) line_->CorruptAnswer(n);
    for (const auto& [n, bytes] : options_.noise) line_->NoiseBeforeAnswer(n, bytes);

    if (script_) peerWatch_ = std::make_unique<EmuPeerWatch>(*line_, line_->Path(), options_.device.empty());
    if (options_.listen) listener_ = std::make_unique<EmuListener>(line_->Path(), *options_.listen);
    if (options_.comPort) RecordComPort(*options_.comPort, ComPortTarget());
}

std::string Emulator::ComPortTarget() const {
    return listener_ ? listener_->Address() : line_->Path();
}

Emulator::~Emulator() {
    // A pseudo-terminal's name is given to the next one opened: a mapping left behind would lead the
    // driver's port into another program's terminal.
    if (options_.comPort) {
        try {
            ForgetComPort(*options_.comPort, ComPortTarget());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "TesselEmu: COM%d was not removed from the settings store: %s\n",
                         *options_.comPort, e.what());
        }
    }
    if (options_.modelFile.empty()) return;
    try {
        const std::uint8_t first = options_.addresses.empty() ? kDefaultAddress : options_.addresses.front();
        SaveModelFile(line_->Model(first), options_.modelFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TesselEmu: the model was not saved: %s\n", e.what());
    }
}

std::string Emulator::PlayScript(int stopFd) {
    if (!script_) return {};
    switch (peerWatch_->Wait(options_.scriptWaitMs, stopFd)) {
        case EmuPeerWait::Came:
            break;
        case EmuPeerWait::Stopped:
            return {};
        case EmuPeerWait::BoundPassed:
            std::fprintf(stderr,
                         "TesselEmu: no program came to the line within %u ms; the script starts anyway\n",
                         options_.scriptWaitMs);
            break;
    }
    return RunScriptText(*line_, *script_, options_.answerTimeoutMs);
}

std::string Emulator::Sale(const std::vector<std::string>& words) {
    if (words.size() > 2) throw std::invalid_argument("sale [ADDR]");
    const std::uint8_t address = words.size() == 2
                                     ? static_cast<std::uint8_t>(ParseNumber(words[1], 1, 255, "sale"))
                                     : line_->Addresses().front();
    return RunScriptText(*line_, EmuScript::Parse(EmuScript::ExampleText(), address),
                         options_.answerTimeoutMs);
}

std::string Emulator::FirstLine() const {
    return (options_.device.empty() ? "PTY " : "DEVICE ") + line_->Path();
}

std::string Emulator::ListenLine() const {
    return listener_ ? "LISTEN " + listener_->Address() : std::string();
}

std::string Emulator::Disconnect() {
    if (!listener_) throw std::invalid_argument("disconnect needs --listen");
    return listener_->Disconnect() ? "OK disconnected\n" : "OK no connection\n";
}

std::string Emulator::Execute(const std::string& commandLine) {
    const std::vector<std::string> words = Words(commandLine);
    if (words.empty()) return {};
    try {
        const std::string& command = words[0];
        if (command == "send") return Send(words);
        if (command == "drop" || command == "corrupt" || command == "delay" || command == "exec-delay" ||
            command == "clear")
            return Fault(words);
        if (command == "noise") {
            const Bytes bytes = ParseHex(Join(words, 1), "noise");
            if (bytes.empty()) throw std::invalid_argument("noise needs at least one byte");
            line_->SendNoise(bytes);
            return "OK\n";
        }
        if (command == "count") return Count(words);
        if (command == "sale") return Sale(words);
        if (command == "disconnect") return Disconnect();
        if (command == "help") {
            return "send ADDR HEX | sale [ADDR] | drop N|+K | corrupt N|+K | noise HEX | delay MS | "
                   "exec-delay MS | clear | count ADDR OPCODE | disconnect\n";
        }
        throw std::invalid_argument("unknown command " + command + " (try help)");
    } catch (const std::exception& e) {
        return std::string("ERROR ") + e.what() + "\n";
    }
}

std::string Emulator::Send(const std::vector<std::string>& words) {
    if (words.size() < 3) throw std::invalid_argument("send ADDR HEX");
    const auto address = static_cast<std::uint8_t>(ParseNumber(words[1], 1, 255, "send"));
    const Bytes payload = ParseHex(Join(words, 2), "send");
    const std::unique_ptr<TCommand> answer = line_->SendRequest(address, payload, options_.answerTimeoutMs);
    if (!answer) return "NO ANSWER\n";
    std::string out =
        "ANSWER " + std::to_string(answer->ResultCode) + " \"" + answer->ResultDescription + "\"";
    if (answer->ResultCode == 0 && !answer->Data.empty()) out += " DATA " + Trimmed(BytesToHex(answer->Data));
    return out + "\n";
}

std::string Emulator::Fault(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    if (command == "clear") {
        line_->ClearFaults();
        return "OK\n";
    }
    if (words.size() != 2) throw std::invalid_argument(command + " needs one number");
    if (command == "delay" || command == "exec-delay") {
        const auto ms = static_cast<std::uint32_t>(ParseNumber(words[1], 0, kMaxMs, command));
        if (command == "delay")
            line_->SetAnswerDelay(ms);
        else
            line_->SetExecutionDelay(ms);
        return "OK\n";
    }
    const bool relative = words[1].front() == '+';
    std::uint64_t number = ParseNumber(std::string_view(words[1]).substr(relative ? 1 : 0), 1,
                                       std::numeric_limits<std::uint32_t>::max(), command);
    if (relative) number += line_->AnswerCount();
    if (command == "drop") {
        line_->DropAnswer(number);
        return "OK answer " + std::to_string(number) + " will be dropped\n";
    }
    line_->CorruptAnswer(number);
    return "OK answer " + std::to_string(number) + " will be corrupted\n";
}

std::string Emulator::Count(const std::vector<std::string>& words) {
    if (words.size() != 3) throw std::invalid_argument("count ADDR OPCODE");
    const auto address = static_cast<std::uint8_t>(ParseNumber(words[1], 1, 255, "count"));
    const Bytes opcode = ParseHex(words[2], "count");
    if (opcode.size() != 1) throw std::invalid_argument("count: the opcode is one hex byte");
    return "COUNT " + std::to_string(line_->ExecutionCount(address, opcode[0])) + "\n";
}
