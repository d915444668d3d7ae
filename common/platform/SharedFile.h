#pragma once
// A file that several processes read and write at once, taking turns through locks of their own: the
// driver's log, which every engine of the user appends to and rotates, and the line statistics, which every
// engine updates in place while other programs read them.
//
// A lock is a named turn on the file (a key), not a range of its data: it is taken on a byte far beyond
// anything the file holds, so readers that take no lock are never refused (Windows locks are mandatory).
// Turns exclude other processes; threads of one process share an open file and must take turns among
// themselves too.

#include <cstdint>
#include <string>
#include <system_error>

#include "common/platform/DataFile.h"

namespace tessel {

class SharedFile : public DataFile {
  public:
    // Opens `path` for reading and writing, creating it when it does not exist, never truncating it. Other
    // processes may open, write, rename and remove it meanwhile. A file open here is closed first.
    OpenResult Open(const std::string& path, Access access = Access::Shared);
    // Opens an existing file for reading only (a reader of the statistics, a support bundle).
    OpenResult OpenForReading(const std::string& path);

    // Whether the file open here is still the one that `path` names (not renamed away or replaced).
    bool IsAt(const std::string& path) const;

    // Waits for the turn `key` (0 .. 2^20) on this file and holds it until the Turn goes. The wait ends when
    // the process holding the turn releases it; turns are held only for a few file operations.
    class Turn {
      public:
        Turn() = default;
        ~Turn();
        Turn(Turn&& other) noexcept;
        Turn& operator=(Turn&& other) noexcept;
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

      private:
        friend class SharedFile;
        Turn(const SharedFile* file, std::uint64_t key) : file_(file), key_(key) {}
        void Release();
        const SharedFile* file_ = nullptr;
        std::uint64_t key_ = 0;
    };
    Turn TakeTurn(std::uint64_t key) const;

    // Renames `from` to `to`, replacing `to`; false (with the reason in `error`) when it cannot.
    static bool Rename(const std::string& from, const std::string& to, std::error_code& error);
    // Removes `path`; false when it cannot (a missing file included).
    static bool Remove(const std::string& path);

  private:
    void Unlock(std::uint64_t key) const;
};

}  // namespace tessel
