#include "common/platform/Win32Support.h"

#include <climits>

namespace tessel::win {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long");
    const int size = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), units);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    if (utf16.size() > static_cast<std::size_t>(INT_MAX / 3)) throw std::length_error("text too long");
    const int size = static_cast<int>(utf16.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return "Ошибка " + std::to_string(error);
    std::wstring message(text, length);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return Narrow(message);
}

namespace {

class TSystemCategory final : public std::error_category {
  public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int error) const override { return ErrorText(static_cast<DWORD>(error)); }
};

}  // namespace

const std::error_category& SystemCategory() {
    static const TSystemCategory category;
    return category;
}

void ThrowError(DWORD error, const std::string& what) {
    throw std::system_error(static_cast<int>(error), SystemCategory(), what);
}

void ThrowLastError(const std::string& what) {
    ThrowError(::GetLastError(), what);
}

}  // namespace tessel::win
