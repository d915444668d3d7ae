#pragma once
// What the Windows backends share: text between the program's UTF-8 and the system's UTF-16, the system's
// error texts, owned handles. Windows only; included by *_win.cpp files alone.

#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace tessel::win {

// UTF-8 to UTF-16 and back; malformed sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's message for an error code, in the user's language, without the closing line break; "Ошибка N"
// when the system has none.
std::string ErrorText(DWORD error);
// The category of the system's error codes, whose messages are ErrorText.
const std::error_category& SystemCategory();
// std::system_error carrying `error`, its text and `what`.
[[noreturn]] void ThrowError(DWORD error, const std::string& what);
[[noreturn]] void ThrowLastError(const std::string& what);

// Owns one kernel handle; both null and INVALID_HANDLE_VALUE mean none.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) ::CloseHandle(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace tessel::win
