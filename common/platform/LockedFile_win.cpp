// The locked file on Windows: opened without write sharing, so a second writer is refused by the system
// while readers may still open it.
#include <algorithm>

#include "common/platform/LockedFile.h"
#include "common/platform/Win32Support.h"

namespace tessel {

namespace {

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::error_code LastError(DWORD error = ::GetLastError()) {
    return {static_cast<int>(error), win::SystemCategory()};
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

LockedFile::OpenResult LockedFile::Open(const std::string& path,
                                        NewFile /*newFile: the folder's ACL rules*/) {
    Close();
    const std::wstring widePath = win::Widen(path);
    HANDLE h =
        ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return {Outcome::Busy, LastError(error)};
        const bool exists = ::GetFileAttributesW(widePath.c_str()) != INVALID_FILE_ATTRIBUTES;
        return {exists ? Outcome::Unusable : Outcome::CannotCreate, LastError(error)};
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return {Outcome::Unusable, LastError(ERROR_INVALID_PARAMETER)};
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    path_ = path;
    return {};
}

void LockedFile::Close() {
    if (handle_ == -1) return;
    ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

std::uint64_t LockedFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(handle_), &size)) Fail(LastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

void LockedFile::Resize(std::uint64_t size) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) || !::SetEndOfFile(AsHandle(handle_)))
        Fail(LastError());
}

void LockedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!::ReadFile(AsHandle(handle_), bytes + done, chunk, &n, &at)) {
            const DWORD error = ::GetLastError();
            Fail(LastError(error == ERROR_HANDLE_EOF ? ERROR_READ_FAULT : error));
        }
        // The file was cut behind our back: what it held cannot be trusted.
        if (n == 0) Fail(LastError(ERROR_READ_FAULT));
        done += n;
    }
}

void LockedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!::WriteFile(AsHandle(handle_), bytes + done, chunk, &n, &at)) Fail(LastError());
        if (n == 0) Fail(LastError(ERROR_DISK_FULL));
        done += n;
    }
}

void LockedFile::SyncData() {
    if (!::FlushFileBuffers(AsHandle(handle_))) Fail(LastError());
}

void LockedFile::Append(std::string_view text) {
    WriteAt(Size(), text.data(), text.size());
    ::FlushFileBuffers(AsHandle(handle_));
}

}  // namespace tessel
