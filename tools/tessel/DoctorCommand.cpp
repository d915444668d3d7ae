#include "tools/tessel/DoctorCommand.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/base/untLogFile.h"
#include "driver/engine/untConst.h"
#include "tools/tessel/ClientPlatform.h"
#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/DoctorSystem.h"
#include "tools/tessel/StatsCommand.h"

namespace tessel::cli {

std::optional<Problem> PermissionProblem(const DeviceAccess& device, const UserIdentity& user) {
    if (user.uid == 0) return std::nullopt;
    constexpr std::uint32_t kOwnerRw = 0600, kGroupRw = 0060, kOtherRw = 0006;
    const auto has = [](const std::vector<std::uint32_t>& groups, std::uint32_t g) {
        return std::find(groups.begin(), groups.end(), g) != groups.end();
    };
    if ((device.mode & kOtherRw) == kOtherRw) return std::nullopt;
    if (device.owner == user.uid && (device.mode & kOwnerRw) == kOwnerRw) return std::nullopt;
    const bool groupMayUse = (device.mode & kGroupRw) == kGroupRw;
    if (groupMayUse && has(user.groups, device.group)) return std::nullopt;
    const std::string group = device.groupName.empty() ? std::to_string(device.group) : device.groupName;
    if (!groupMayUse || device.group == 0) {
        return Problem{
            "only its owner may open it (mode " +
                [&] {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "%03o", device.mode & 0777);
                    return std::string(buf);
                }() +
                ", group " + group + ")",
            "install the udev rule, which gives serial ports to the group dialout: sudo install -m 644 "
            "packaging/udev/60-tessel-serial.rules /etc/udev/rules.d/, then plug the adapter in "
            "again"};
    }
    if (has(user.listedGroups, device.group)) {
        return Problem{"only the group " + group + " may open it; " + user.name +
                           " was added to it but has not logged in again since",
                       "log out and in again (or reboot), so that the new group takes effect"};
    }
    return Problem{"only the group " + group + " may open it, and " + user.name + " is not in it",
                   "sudo usermod -aG " + group + " " + user.name + ", then log out and in again"};
}

namespace {

const char* kBauds[] = {"", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

std::string BaudText(LONG code) {
    return code >= 1 && code <= 8 ? std::string(kBauds[code]) + " baud"
                                  : "speed code " + std::to_string(code);
}

std::string SizeText(std::uint64_t bytes) {
    char buf[32];
    if (bytes >= (1u << 20))
        std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    else if (bytes >= 1024)
        std::snprintf(buf, sizeof buf, "%.0f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    return buf;
}

class Findings {
  public:
    explicit Findings(std::ostream& out) : out_(out) {}
    void Ok(const std::string& what) { out_ << "ok    " << what << '\n' << std::flush; }
    void Fail(const Problem& p) { Say("FAIL  ", p); }
    void Warn(const Problem& p) { Say("warn  ", p); }
    int Problems() const { return problems_; }

  private:
    void Say(const char* mark, const Problem& p) {
        out_ << mark << p.cause << '\n';
        if (!p.todo.empty()) out_ << "      -> " << p.todo << '\n';
        out_ << std::flush;
        ++problems_;
    }
    std::ostream& out_;
    int problems_ = 0;
};

std::string RegisteredLibrary() {
    try {
        tessel::Registry reg(tessel::Hive::ClassesRoot);
        if (!reg.OpenKey(std::string("CLSID\\") + kDriverClsid + "\\InProcServer32", false) ||
            !reg.ValueExists(""))
            return {};
        std::string path = reg.ReadString("");
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
            path = path.substr(1, path.size() - 2);
        return path;
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<DispatchDriver> CheckDriver(Findings& f) {
    const std::string library = RegisteredLibrary();
    if (library.empty()) {
        f.Fail({"driver: not registered for this user (no class " + std::string(kDriverProgID) +
                    " in the settings)",
                RegistrationHint()});
        return std::nullopt;
    }
    if (!FileSize(library)) {
        f.Fail({"driver: registered at " + library + ", but that file does not exist", RegistrationHint()});
        return std::nullopt;
    }
    try {
        DispatchDriver driver = DispatchDriver::Create();
        f.Ok("driver: registered at " + library + " and loads");
        return driver;
    } catch (const std::exception& e) {
        f.Fail({"driver: registered at " + library + ", but it does not load: " + e.what(),
                "register it again (" + RegistrationHint() + ")"});
        return std::nullopt;
    }
}

struct DeviceSettings {
    LONG index = 0;
    LONG port = 0;
    LONG baud = 0;
    LONG address = 0;
};

// The port's facts: whether it can be used at all.
bool CheckPort(Findings& f, const std::string& com, const PortFacts& facts) {
    if (facts.network) {
        f.Ok(com + ": the network port " + facts.path + " (" + facts.source + ")");
        return true;
    }
    if (facts.missing) {
        f.Fail({com + ": " + facts.missing->cause, facts.missing->todo});
        return false;
    }
    f.Ok(com + ": " + facts.path + " (" + facts.source + ")" +
         (facts.node != facts.path ? ", which is " + facts.node : std::string()));
    if (facts.permission) {
        f.Fail({com + ": you may not open " + facts.node + ": " + facts.permission->cause,
                facts.permission->todo});
        return false;
    }
    f.Ok(com + ": you may open " + facts.node);
    if (!facts.holders.empty()) {
        std::string names;
        bool modemManager = false;
        for (const std::string& h : facts.holders) {
            names += (names.empty() ? "" : ", ") + h;
            modemManager = modemManager || h.find("ModemManager") != std::string::npos;
        }
        f.Fail({com + ": " + facts.node + " is held by another program: " + names,
                modemManager
                    ? "ModemManager probes new modems: install the udev rule that makes it leave serial "
                      "adapters alone (sudo install -m 644 packaging/udev/60-tessel-serial.rules "
                      "/etc/udev/rules.d/), then plug the adapter in again"
                    : "end that program, or give the register another port"});
        return false;
    }
    if (facts.modemManagerMayProbe) {
        f.Warn({com + ": ModemManager runs and may probe " + facts.node +
                    " with AT commands, which a register takes for garbage",
                "install the udev rule: sudo install -m 644 packaging/udev/60-tessel-serial.rules "
                "/etc/udev/rules.d/, then plug the adapter in again"});
    } else {
        f.Ok(com + ": no other program holds it");
    }
    return true;
}

// The register at the saved settings, else where it answers. The saved speed, time-out and attempts are put
// back whatever happens.
void CheckRegister(Findings& f, DispatchDriver& driver, const std::string& com, const DeviceSettings& d) {
    const std::string at = com + ": the register at address " + std::to_string(d.address);
    driver.PutLong("DeviceEnabled", 1);
    if (const LONG opened = driver.GetLong("ResultCode"); opened != 0) {
        f.Fail({com + ": the driver cannot open it: (" + std::to_string(opened) + ") " +
                    driver.GetText("ResultDescription"),
                "see the cause above; tessel ports lists the serial devices"});
        return;
    }
    Variant result;
    driver.Call("GetDeviceMetrics", result);
    LONG code = driver.GetLong("ResultCode");
    if (code >= 0) {
        f.Ok(at + " answers at " + BaudText(d.baud) + ": " +
             (code == 0 ? driver.GetText("UDescription")
                        : "(" + std::to_string(code) + ") " + driver.GetText("ResultDescription")));
        driver.PutLong("DeviceEnabled", 0);
        return;
    }
    const std::string failure = "(" + std::to_string(code) + ") " + driver.GetText("ResultDescription");
    const LONG timeout = driver.GetLong("Timeout");
    const LONG repeats = driver.GetLong("RepCount");
    std::optional<LONG> found;
    if (code == -1) {
        // A short search: every other speed once, with a short wait.
        driver.PutLong("Timeout", std::min<LONG>(timeout, 300));
        driver.PutLong("RepCount", 1);
        for (LONG baud = 1; baud <= 8 && !found; ++baud) {
            if (baud == d.baud) continue;
            driver.PutLong("BaudRate", baud);
            driver.Call("GetDeviceMetrics", result);
            if (driver.GetLong("ResultCode") >= 0) found = baud;
        }
        driver.PutLong("BaudRate", d.baud);
        driver.PutLong("Timeout", timeout);
        driver.PutLong("RepCount", repeats);
    }
    driver.PutLong("DeviceEnabled", 0);
    if (found) {
        f.Fail({at + " does not answer at the saved " + BaudText(d.baud) + ", but answers at " +
                    BaudText(*found),
                "tessel set BaudRate=" + std::to_string(*found) + " (or set the register to " +
                    BaudText(d.baud) + ")"});
    } else if (code == -1) {
        f.Fail({com + ": no register answers at address " + std::to_string(d.address) +
                    " at any speed: " + failure,
                "check that the register is on and its cable is in this port; tessel search tries every port "
                "and address"});
    } else {
        f.Fail({at + ": " + failure, "see the cause above"});
    }
}

void CheckLog(Findings& f, DispatchDriver& driver) {
    const bool enabled = driver.GetLong("LogEnabled") != 0;
    const std::string name = driver.GetText("LogFileName");
    std::uint64_t cap = TLogFile::kDefaultMaxBytes;
    try {
        tessel::Registry reg;
        if (reg.OpenKey(kParamKey, false) && reg.ValueExists(kLogMaxSizeValue)) {
            const std::int32_t kb = reg.ReadInteger(kLogMaxSizeValue);
            cap = kb <= 0 ? 0 : static_cast<std::uint64_t>(kb) * 1024;
        }
    } catch (const std::exception&) {
    }
    std::uint64_t older = 0;
    int olderFiles = 0;
    for (int n = 1; n <= TLogFile::kDefaultKeptFiles; ++n) {
        if (const auto size = FileSize(TLogFile::RotatedName(name, n))) {
            older += *size;
            ++olderFiles;
        }
    }
    const std::string capText = cap == 0
                                    ? "not capped (" + std::string(kLogMaxSizeValue) + " 0)"
                                    : "capped at " + SizeText(cap) + " a file, " +
                                          std::to_string(TLogFile::kDefaultKeptFiles) + " older files kept";
    const auto size = FileSize(name);
    const std::string sizes =
        (size ? SizeText(*size) : "not written yet") +
        (olderFiles > 0 ? ", " + std::to_string(olderFiles) + " older file(s) of " + SizeText(older)
                        : std::string());
    if (!enabled) {
        f.Ok("log: off (LogEnabled false); when on it goes to " + name + " (" + sizes + "), " + capText);
    } else if (!MayWriteFile(name)) {
        f.Fail({"log: on, but " + name + " cannot be written (no such folder, or no rights)",
                "tessel set LogFileName=PATH with a file in a folder you may write"});
    } else {
        f.Ok("log: on, " + name + " (" + sizes + "), " + capText);
    }
}

// `stats` as they were before doctor asked the register anything.
void CheckStats(Findings& f, const std::optional<TLineStatsSnapshot>& stats,
                const std::vector<DeviceSettings>& devices) {
    if (!stats) {
        f.Ok("statistics: none yet (" + DefaultStatsFile() + ")");
        return;
    }
    for (const DeviceSettings& d : devices) {
        const auto r = std::find_if(stats->Records.begin(), stats->Records.end(), [&d](const TLineRecord& x) {
            return x.Port == d.port && x.Address == static_cast<std::uint8_t>(d.address);
        });
        const std::string who =
            "statistics of COM" + std::to_string(d.port) + " address " + std::to_string(d.address);
        if (r == stats->Records.end()) {
            f.Ok(who + ": nothing counted yet");
            continue;
        }
        const std::vector<std::string> warnings = StatsWarnings(*r);
        for (const std::string& w : warnings)
            f.Warn({who + ": " + w, "once the cause is found and mended, tessel stats --reset"});
        if (warnings.empty()) {
            char median[32] = "-";
            if (const auto m = r->PercentileMs(0.5)) std::snprintf(median, sizeof median, "%.0f ms", *m);
            f.Ok(who + ": no warning signs (" + std::to_string((*r)[TLineCounter::Exchanges]) +
                 " exchanges answered, median " + median + ")");
        }
    }
}

}  // namespace

int RunDoctor(std::ostream& out) {
    Findings f(out);
    // Taken first: the questions doctor asks would count in them.
    std::optional<TLineStatsSnapshot> stats;
    try {
        stats = TLineStats::Read(DefaultStatsFile());
    } catch (const std::exception&) {
    }
    std::optional<DispatchDriver> driver = CheckDriver(f);
    std::vector<DeviceSettings> devices;
    if (driver) {
        try {
            const LONG current = driver->GetLong("LDIndex");
            const LONG count = driver->GetLong("LDCount");
            for (LONG i = 0; i < count; ++i) {
                driver->PutLong("LDIndex", i);
                DeviceSettings d{i, driver->GetLong("PortNumber"), driver->GetLong("BaudRate"),
                                 driver->GetLong("DstAddress")};
                devices.push_back(d);
                const std::string com = "COM" + std::to_string(d.port);
                const LONG enabled = driver->GetLong("DeviceEnabled");
                if (CheckPort(f, com, InspectPort(static_cast<int>(d.port))))
                    CheckRegister(f, *driver, com, d);
                // The driver keeps whether the port was open for its next start.
                driver->PutLong("DeviceEnabled", enabled);
            }
            driver->PutLong("LDIndex", current);
            CheckLog(f, *driver);
        } catch (const std::exception& e) {
            f.Fail({std::string("driver: a check could not be made: ") + e.what(), ""});
        }
    } else {
        out << "      (the other checks need the driver)\n";
    }
    if (driver) CheckStats(f, stats, devices);
    out << (f.Problems() == 0 ? "All is well.\n" : std::to_string(f.Problems()) + " problem(s) found.\n");
    return f.Problems() == 0 ? 0 : 1;
}

}  // namespace tessel::cli
