#include "driver/forms/LogForm.h"

#include <filesystem>
#include <fstream>
#include <system_error>

const char* const TLogForm::kFilter = "Лог-файлы (*.log)|*.log|Все файлы (*.*)|*.*";

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string TextOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::optional<std::string> WhyNotWritable(const std::string& name) {
    if (IsBlank(name)) return "не задано имя файла";
    std::error_code error;
    const fs::path file = fs::absolute(PathOf(name), error);
    if (error) return error.message();
    const fs::file_status status = fs::status(file, error);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status)) return "это не файл";
        // Opened to append and closed again: the file keeps its contents and its time.
        std::ofstream probe(file, std::ios::binary | std::ios::app);
        return probe.is_open() ? std::nullopt : std::optional<std::string>("нет прав на запись в файл");
    }
    const fs::path folder = file.parent_path();
    if (!fs::is_directory(folder, error)) return "нет папки " + TextOf(folder);
    bool made = false;
    {
        std::ofstream probe(file, std::ios::binary | std::ios::app);
        made = probe.is_open();
    }
    if (!made) return "нет прав на запись в папку " + TextOf(folder);
    fs::remove(file, error);
    return std::nullopt;
}

void TLogForm::Fill() {
    const bool enabled = driver_.Get(&ITesselDriver::get_LogEnabled);
    openedName_ = driver_.Get(&ITesselDriver::get_LogFileName);
    view_.ShowLogEnabled(enabled);
    view_.ShowFileName(openedName_);
}

void TLogForm::ChooseFile() {
    ShowErrors(view_, [this] {
        if (const auto chosen = view_.AskFileName(kFilter, view_.FileName())) view_.ShowFileName(*chosen);
    });
}

bool TLogForm::Accept() {
    const std::string name = view_.FileName();
    if (!view_.LogEnabled() && name == openedName_) return true;
    const auto why = WhyNotWritable(name);
    if (!why) return true;
    view_.ShowError("Лог-файл не может быть записан: " + name + " (" + *why + ")");
    view_.FocusFileName();
    return false;
}

void TLogForm::Apply() {
    driver_.Put(&ITesselDriver::put_LogEnabled, view_.LogEnabled());
    driver_.Put(&ITesselDriver::put_LogFileName, view_.FileName());
}
