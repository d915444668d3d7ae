// The driver's data files on Windows: handles read and written at offsets (OVERLAPPED positions, so threads
// sharing a handle never move a common file pointer).
#include <algorithm>

#include "common/platform/DataFile.h"
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

DataFile::OpenResult DataFile::OpenFile(const std::string& path, Access /*access: the folder's ACL rules*/,
                                        Writers writers) {
    Close();
    const std::wstring widePath = win::Widen(path);
    // One writer: opened without write sharing, so the system refuses a second writer while readers may
    // still open it. Many: every opener shares everything, so a writer may rename the file others hold.
    const DWORD share =
        FILE_SHARE_READ | FILE_SHARE_DELETE | (writers == Writers::Many ? FILE_SHARE_WRITE : 0);
    HANDLE h = ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
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

DataFile::OpenResult DataFile::OpenFileForReading(const std::string& path) {
    Close();
    HANDLE h = ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {Outcome::Unusable, LastError()};
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return {Outcome::Unusable, LastError(ERROR_INVALID_PARAMETER)};
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    path_ = path;
    return {};
}

void DataFile::Close() {
    if (handle_ == -1) return;
    ::CloseHandle(AsHandle(handle_));  // releases its locks too
    handle_ = -1;
}

std::uint64_t DataFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(handle_), &size)) Fail(LastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

void DataFile::Resize(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end))
        Fail(LastError());
}

void DataFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
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

void DataFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
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

void DataFile::SyncData() {
    if (!::FlushFileBuffers(AsHandle(handle_))) Fail(LastError());
}

void DataFile::Append(std::string_view text) {
    const std::uint64_t end = Size();
    try {
        WriteAt(end, text.data(), text.size());
    } catch (const std::system_error&) {
        Resize(end);
        throw;
    }
    ::FlushFileBuffers(AsHandle(handle_));
}

}  // namespace tessel
