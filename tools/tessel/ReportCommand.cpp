#include "tools/tessel/ReportCommand.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <sstream>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "common/platform/SharedFile.h"
#include "driver/base/untLogFile.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untDriverPath.h"
#include "tools/tessel/ClientPlatform.h"
#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/DoctorCommand.h"
#include "tools/tessel/PortsCommand.h"
#include "tools/tessel/StatsCommand.h"

namespace tessel::cli {
namespace {

// How much of the log goes into the bundle: enough for a day of a busy shop's frames.
constexpr std::uint64_t kLogTail = 2u << 20;
// The length of the log's time stamp, "dd.mm.yyyy hh:mm:ss.zzz ".
constexpr std::size_t kStampLength = 24;

constexpr std::uint8_t kStart = 0x7E, kEscape = 0x7D;
constexpr std::uint8_t kWriteTable = 0x1E, kReadTable = 0x1F;

// Where the two hex digits of one logged byte are: line and column.
struct Digits {
    std::size_t line = 0;
    std::size_t at = 0;
};

// Reassembles the frames of one stream of logged bytes (a port's one direction, or one unstuffed frame) and
// masks the table values in them.
class FrameMasker {
  public:
    FrameMasker(std::vector<std::string>& lines, bool stuffed) : lines_(lines), stuffed_(stuffed) {}

    void Feed(std::uint8_t b, Digits d) {
        if (b == kStart) {
            frame_.assign(1, b);
            digits_.assign(1, {d});
            escape_.reset();
            active_ = true;
            return;
        }
        if (!active_) return;
        if (escape_) {
            const Digits first = *escape_;
            escape_.reset();
            if (b != 0x9D && b != 0x9E) return;  // a bad pair adds nothing, as the receiver does
            Add(b == 0x9D ? kEscape : kStart, {first, d});
            return;
        }
        if (stuffed_ && b == kEscape) {
            escape_ = d;
            return;
        }
        Add(b, {d});
    }

  private:
    void Add(std::uint8_t b, std::vector<Digits> digits) {
        frame_.push_back(b);
        digits_.push_back(std::move(digits));
        if (frame_.size() == 7) expected_ = frame_[6] + 9u;
        if (frame_.size() >= 7 && frame_.size() == expected_) {
            Mask();
            active_ = false;
        }
        // A length byte beyond any frame: what follows is not a frame of ours.
        if (frame_.size() > 264) active_ = false;
    }

    void Mask() {
        const std::size_t length = frame_[6];  // opcode and data
        const std::size_t end = 7 + length;    // the checksum's first byte
        std::size_t from = end;
        if (frame_[7] == kWriteTable && frame_[3] == 0) from = 8 + 5;
        if (frame_[7] == kReadTable && frame_[3] == 1 && length > 1 && frame_[8] == 0) from = 8 + 2;
        if (from >= end) return;
        // The checksum goes too: over a short password it would give the value away.
        for (std::size_t i = from; i < end + 2 && i < digits_.size(); ++i) {
            for (const Digits& d : digits_[i]) {
                lines_[d.line][d.at] = '*';
                lines_[d.line][d.at + 1] = '*';
            }
        }
    }

    std::vector<std::string>& lines_;
    bool stuffed_;
    bool active_ = false;
    std::optional<Digits> escape_;
    std::vector<std::uint8_t> frame_;
    std::vector<std::vector<Digits>> digits_;
    std::size_t expected_ = 0;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Feeds the hex bytes of `lines[index]` from column `from` on.
void FeedBytes(std::vector<std::string>& lines, std::size_t index, std::size_t from, FrameMasker& masker) {
    const std::string& s = lines[index];
    for (std::size_t i = from; i + 1 < s.size(); i += 3) {
        const int hi = HexValue(s[i]);
        const int lo = HexValue(s[i + 1]);
        if (hi < 0 || lo < 0) return;
        masker.Feed(static_cast<std::uint8_t>(hi * 16 + lo), {index, i});
    }
}

std::string ReadTail(const std::string& path, std::uint64_t most) {
    tessel::SharedFile file;
    if (file.OpenForReading(path).outcome != tessel::SharedFile::Outcome::Opened) return {};
    const std::uint64_t size = file.Size();
    const std::uint64_t from = size > most ? size - most : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    file.ReadAt(from, text.data(), text.size());
    // A tail that starts inside a line starts at the next one.
    if (from > 0) text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    return text;
}

void DumpKey(tessel::Registry& reg, const std::string& key, std::ostringstream& out) {
    if (!reg.OpenKey("\\" + key, false)) return;
    out << '[' << key << "]\n";
    for (const std::string& name : reg.GetValueNames()) {
        const auto type = reg.GetDataType(name);
        out << (name.empty() ? "@" : "\"" + name + "\"") << " = ";
        if (type == tessel::RegValueType::String)
            out << '"' << reg.ReadString(name) << "\"\n";
        else if (type == tessel::RegValueType::DWord)
            out << reg.ReadInteger(name) << '\n';
        else
            out << "(binary)\n";
    }
    const std::vector<std::string> subkeys = reg.GetKeyNames();
    for (const std::string& sub : subkeys) DumpKey(reg, key + "\\" + sub, out);
}

std::string Settings() {
    std::ostringstream out;
    out << "# " << SettingsLocation() << '\n';
    try {
        tessel::Registry reg;
        DumpKey(reg, kDriverKey, out);
    } catch (const std::exception& e) {
        out << "(the settings could not be read: " << e.what() << ")\n";
    }
    return out.str();
}

std::string LogFileName(std::optional<DispatchDriver>& driver) {
    if (driver) {
        try {
            return driver->GetText("LogFileName");
        } catch (const std::exception&) {
        }
    }
    try {
        tessel::Registry reg;
        if (reg.OpenKey(kParamKey, false) && reg.ValueExists("LogFileName"))
            return reg.ReadString("LogFileName");
    } catch (const std::exception&) {
    }
    return DriverFilesDirectory() + kDefaultLogFileName;
}

}  // namespace

std::string MaskTableValues(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < log.size();) {
        const std::size_t end = log.find('\n', pos);
        const std::size_t next = end == std::string::npos ? log.size() : end + 1;
        lines.push_back(log.substr(pos, next - pos));
        pos = next;
    }
    // The bytes of one port in one direction form a stream: a received frame may be logged over several
    // lines, as the reads that brought it.
    std::map<std::string, FrameMasker> streams;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() <= kStampLength) continue;
        const std::string_view text = std::string_view(lines[i]).substr(kStampLength);
        for (const char* dropped : {"Отброшен повторный ответ: ", "Отброшен кадр с ошибкой CRC: "}) {
            if (text.rfind(dropped, 0) == 0) {
                FrameMasker unstuffed(lines, false);
                FeedBytes(lines, i, kStampLength + std::string_view(dropped).size(), unstuffed);
            }
        }
        if (text.rfind("COM", 0) != 0) continue;
        std::size_t digits = 3;
        while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
        if (digits == 3 || (text.substr(digits, 4) != " -> " && text.substr(digits, 4) != " <- ")) continue;
        const std::string key(text.substr(0, digits + 4));
        FrameMasker& masker = streams.try_emplace(key, lines, true).first->second;
        FeedBytes(lines, i, kStampLength + digits + 4, masker);
    }
    std::string out;
    for (const std::string& l : lines) out += l;
    return out;
}

std::string TarArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string out;
    const auto now = static_cast<unsigned long long>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    for (const auto& [name, contents] : files) {
        std::string h(512, '\0');
        const auto field = [&h](std::size_t at, std::size_t width, const std::string& value) {
            h.replace(at, std::min(value.size(), width), value.substr(0, width));
        };
        const auto octal = [&field](std::size_t at, std::size_t width, unsigned long long value) {
            char buf[24];
            std::snprintf(buf, sizeof buf, "%0*llo", static_cast<int>(width - 1), value);
            field(at, width - 1, buf);
        };
        field(0, 100, name);
        octal(100, 8, 0600);
        octal(108, 8, 0);
        octal(116, 8, 0);
        octal(124, 12, contents.size());
        octal(136, 12, now);
        h[156] = '0';
        field(257, 6, std::string("ustar\0", 6));
        field(263, 2, "00");
        // The checksum counts its own field as blanks.
        h.replace(148, 8, 8, ' ');
        unsigned sum = 0;
        for (const char c : h) sum += static_cast<unsigned char>(c);
        char check[8];
        std::snprintf(check, sizeof check, "%06o", sum);
        h.replace(148, 7, std::string(check, 6) + '\0');
        out += h;
        out += contents;
        out.append((512 - contents.size() % 512) % 512, '\0');
    }
    out.append(1024, '\0');
    return out;
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << "Usage: tessel report FILE\n\nWrites a support bundle, one tar archive: versions, the "
               "driver's "
               "settings, the ports and their mapping, the line statistics, the last part of the log (the "
               "values of table writes and reads masked) and what tessel doctor says.\n";
        return 0;
    }
    if (args.size() != 1 || args[0].empty() || args[0].front() == '-') {
        err << "tessel report: expected one FILE (see tessel report --help)\n";
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> files;
    std::ostringstream doctor;
    RunDoctor(doctor);

    std::optional<DispatchDriver> driver;
    std::string versions = "tessel " TESSEL_FILE_VERSION "\n";
    try {
        driver.emplace(DispatchDriver::Create());
        versions +=
            "driver " + driver->GetText("Version") + ", registered at " + RegisteredDriverDirectory() + "\n";
    } catch (const std::exception& e) {
        versions += std::string("driver: ") + e.what() + "\n";
    }
    files.emplace_back("versions.txt", versions);
    files.emplace_back("settings.txt", Settings());
    std::ostringstream ports;
    RunPorts({}, ports, ports);
    files.emplace_back("ports.txt", ports.str());
    std::ostringstream stats, statsJson, statsErr;
    RunStats({}, stats, statsErr);
    RunStats({"--json"}, statsJson, statsErr);
    files.emplace_back("stats.txt", stats.str() + statsErr.str());
    files.emplace_back("stats.json", statsJson.str());
    files.emplace_back("doctor.txt", doctor.str());

    const std::string log = LogFileName(driver);
    std::string tail = ReadTail(log, kLogTail);
    if (tail.size() < kLogTail) tail = ReadTail(TLogFile::RotatedName(log, 1), kLogTail - tail.size()) + tail;
    files.emplace_back("log.txt", tail.empty() ? "(no log at " + log + ")\n" : MaskTableValues(tail));
    driver.reset();

    try {
        tessel::WriteFileAtomically(args[0], TarArchive(files), 0600);
    } catch (const std::exception& e) {
        err << "tessel report: " << e.what() << '\n';
        return 1;
    }
    out << "Wrote " << args[0] << ": ";
    for (std::size_t i = 0; i < files.size(); ++i) out << (i == 0 ? "" : ", ") << files[i].first;
    out << '\n';
    return 0;
}

}  // namespace tessel::cli
