// Whole-file replacement on Windows: a temporary file beside the target, flushed, then moved over it with
// MoveFileEx, which replaces the target in one step and returns only once the move is on disk.
#include <atomic>

#include "common/platform/AtomicFile.h"
#include "common/platform/Win32Support.h"

namespace tessel {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, DWORD error) {
    win::ThrowError(error, what + " '" + path + "'");
}

// A name no other writer in this or another process picks at the same time.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + "." + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".tmp";
}

}  // namespace

// The permission bits have no meaning here: the file takes the access rules of its folder.
void WriteFileAtomically(const std::string& path, std::string_view contents, mode_t /*mode*/) {
    const std::string temp = TemporaryName(path);
    const std::wstring wideTemp = win::Widen(temp);
    {
        win::UniqueHandle out(::CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) Fail("cannot create a temporary file for", path, ::GetLastError());
        try {
            const char* p = contents.data();
            std::size_t left = contents.size();
            while (left > 0) {
                const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
                DWORD written = 0;
                if (!::WriteFile(out.Get(), p, chunk, &written, nullptr) || written == 0)
                    Fail("cannot write", temp, ::GetLastError());
                p += written;
                left -= written;
            }
            if (!::FlushFileBuffers(out.Get())) Fail("cannot flush", temp, ::GetLastError());
        } catch (...) {
            out.Reset();
            ::DeleteFileW(wideTemp.c_str());
            throw;
        }
    }
    if (!::MoveFileExW(wideTemp.c_str(), win::Widen(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(wideTemp.c_str());
        Fail("cannot replace", path, error);
    }
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    win::UniqueHandle in(::CreateFileW(win::Widen(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        Fail("cannot open", path, error);
    }
    contents.clear();
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(in.Get(), buf, sizeof buf, &n, nullptr)) Fail("cannot read", path, ::GetLastError());
        if (n == 0) break;
        contents.append(buf, n);
    }
    return true;
}

}  // namespace tessel
