#include "tools/cmdtester/untCmdIni.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "common/ini/BigIni.h"
#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "common/platform/TextFormat.h"

namespace tessel::cmd {

namespace {

namespace fs = std::filesystem;

constexpr char kTimeout[] = "Timeout";
constexpr char kSendAnswer[] = "SendAnswer";
constexpr char kWaitAnswer[] = "WaitAnswer";
constexpr char kName[] = "Название";

// A section name read as a hexadecimal number (digits of either case, nothing else); nothing otherwise.
std::optional<long> HexNumber(const std::string& name) {
    if (name.empty() || name.size() > 8) return std::nullopt;
    long value = 0;
    for (const char c : name) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

std::string ProgramPath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("TesselCmd") : exe.string();
}

std::string CmdIniFileName(const std::string& programPath) {
    fs::path beside(programPath);
    beside.replace_extension(".ini");
    const fs::path folder = beside.has_parent_path() ? beside.parent_path() : fs::path(".");
    if (::access(folder.c_str(), W_OK) == 0) return beside.string();
    try {
        return (fs::path(RegistryDirectory()) / beside.filename()).string();
    } catch (const std::exception&) {
        // No settings folder can be made either: saving beside the program fails later with its reason.
        return beside.string();
    }
}

void LoadCmdIni(const std::string& fileName, TAppParams& params, TCommands& commands) {
    std::string text;
    try {
        if (!ReadWholeFile(fileName, text)) return;
    } catch (const std::system_error& e) {
        throw EIniFileError(fileName, e.what());
    }
    TBigIniFile ini("");
    ini.LoadFromText(text);
    params.Timeout = ini.ReadInteger(kParamsSection, kTimeout, TAppParams::DefTimeout);
    params.SendAnswer = ini.ReadBool(kParamsSection, kSendAnswer, TAppParams::DefSendAnswer);
    params.WaitAnswer = ini.ReadBool(kParamsSection, kWaitAnswer, TAppParams::DefWaitAnswer);

    std::vector<std::string> sections;
    ini.ReadSections(sections);
    for (const std::string& section : sections) {
        const auto code = HexNumber(section);
        TCommand* command = code ? commands.FindByCode(*code) : nullptr;
        if (command == nullptr) continue;
        for (std::size_t i = 0; i < command->ParamCount(); ++i) {
            TCmdParam& p = command->Param(i);
            p.Text = ini.ReadString(section, p.Name, p.Default);
            if (p.Text.empty()) p.Text = p.Default;
        }
    }
}

void SaveCmdIni(const std::string& fileName, const TAppParams& params, const TCommands& commands) {
    TBigIniFile ini("");
    ini.WriteInteger(kParamsSection, kTimeout, params.Timeout);
    ini.WriteBool(kParamsSection, kSendAnswer, params.SendAnswer);
    ini.WriteBool(kParamsSection, kWaitAnswer, params.WaitAnswer);
    for (const TCommand& command : commands) {
        const std::string section = FormatText("%.2X", static_cast<unsigned>(command.Code));
        ini.WriteString(section, kName, command.Name);
        for (std::size_t i = 0; i < command.ParamCount(); ++i) {
            const TCmdParam& p = command.Param(i);
            ini.WriteString(section, p.Name, p.Text);
        }
    }
    try {
        const fs::path folder = fs::path(fileName).parent_path();
        if (!folder.empty()) fs::create_directories(folder);
        WriteFileAtomically(fileName, ini.SaveToText(), 0644);
    } catch (const std::exception& e) {
        throw EIniFileError(fileName, e.what());
    }
}

}  // namespace tessel::cmd
