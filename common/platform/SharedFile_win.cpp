// The shared file on Windows: every opener shares reading, writing and deleting (so a writer may rename the
// file while others hold it), and turns are LockFileEx locks of one byte each, far beyond the data.
#include <algorithm>

#include "common/platform/SharedFile.h"
#include "common/platform/Win32Support.h"

namespace tessel {

namespace {

constexpr std::uint64_t kTurnBase = std::uint64_t{1} << 40;
constexpr std::uint64_t kMaxKey = std::uint64_t{1} << 20;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    return ::GetFileInformationByHandle(a, &ia) && ::GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace

SharedFile::OpenResult SharedFile::Open(const std::string& path, Access /*access: the folder's ACL rules*/) {
    Close();
    const std::wstring widePath = win::Widen(path);
    HANDLE h = ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
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

SharedFile::OpenResult SharedFile::OpenForReading(const std::string& path) {
    Close();
    HANDLE h = ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
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

void SharedFile::Close() {
    if (handle_ == -1) return;
    ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

std::uint64_t SharedFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(handle_), &size)) Fail(LastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

void SharedFile::Resize(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end))
        Fail(LastError());
}

void SharedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
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
        if (n == 0) Fail(LastError(ERROR_READ_FAULT));
        done += n;
    }
}

void SharedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
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

void SharedFile::Append(std::string_view text) {
    const std::uint64_t end = Size();
    try {
        WriteAt(end, text.data(), text.size());
    } catch (const std::system_error&) {
        // No half line stays behind for a reader.
        Resize(end);
        throw;
    }
    ::FlushFileBuffers(AsHandle(handle_));
}

bool SharedFile::IsAt(const std::string& path) const {
    win::UniqueHandle there(::CreateFileW(win::Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!there.Valid()) return false;
    return SameFile(AsHandle(handle_), there.Get());
}

SharedFile::Turn SharedFile::TakeTurn(std::uint64_t key) const {
    if (key >= kMaxKey) Fail(LastError(ERROR_INVALID_PARAMETER));
    OVERLAPPED at = At(kTurnBase + key);
    if (!::LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) Fail(LastError());
    return Turn(this, key);
}

void SharedFile::Unlock(std::uint64_t key) const {
    if (handle_ == -1) return;
    OVERLAPPED at = At(kTurnBase + key);
    ::UnlockFileEx(AsHandle(handle_), 0, 1, 0, &at);
}

bool SharedFile::Rename(const std::string& from, const std::string& to, std::error_code& error) {
    if (::MoveFileExW(win::Widen(from).c_str(), win::Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    error = LastError();
    return false;
}

bool SharedFile::Remove(const std::string& path) {
    return ::DeleteFileW(win::Widen(path).c_str()) != 0;
}

}  // namespace tessel
