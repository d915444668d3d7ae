// The shared file on Windows: every opener shares reading, writing and deleting (so a writer may rename the
// file while others hold it), and turns are LockFileEx locks of one byte each, far beyond the data.
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

bool SharedFile::IsAt(const std::string& path) const {
    win::UniqueHandle there(::CreateFileW(win::Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!there.Valid()) return false;
    return SameFile(AsHandle(Handle()), there.Get());
}

SharedFile::Turn SharedFile::TakeTurn(std::uint64_t key) const {
    if (key >= kMaxKey) Fail(LastError(ERROR_INVALID_PARAMETER));
    OVERLAPPED at = At(kTurnBase + key);
    if (!::LockFileEx(AsHandle(Handle()), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) Fail(LastError());
    return Turn(this, key);
}

void SharedFile::Unlock(std::uint64_t key) const {
    if (!IsOpen()) return;
    OVERLAPPED at = At(kTurnBase + key);
    ::UnlockFileEx(AsHandle(Handle()), 0, 1, 0, &at);
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
