#pragma once
// A file that several processes read and write at once, taking turns through locks of their own: the
// driver's log, which every engine of the user appends to and rotates, and the line statistics, which every
// engine updates in place while other programs read them.
//
// A lock is a named turn on the file (a key), not a range of its data: it is taken on a byte far beyond
// anything the file holds, so readers that take no lock are never refused (Windows locks are mandatory).
// Turns exclude other processes; threads of one process share an open file and must take turns among
// themselves too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tessel {

class SharedFile {
  public:
    enum class Outcome {
        Opened,
        Unusable,     // the name exists but is not a regular file we may open (or, private: is a link or
                      // another user's file)
        CannotCreate  // the name does not exist and the file cannot be created
    };

    struct OpenResult {
        Outcome outcome = Outcome::Opened;
        std::error_code error;  // why, for any outcome but Opened
    };

    // Who may read the file. Shared: a file this call creates is readable by all. Private (Linux): readable
    // by its owner only, an existing file of ours is made so, the name must not be a link and another user's
    // file is refused. Windows files follow their folder's rules.
    enum class Access { Shared, Private };

    SharedFile() = default;
    ~SharedFile();
    SharedFile(SharedFile&& other) noexcept;
    SharedFile& operator=(SharedFile&& other) noexcept;
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens `path` for reading and writing, creating it when it does not exist, never truncating it. Other
    // processes may open, write, rename and remove it meanwhile. A file open here is closed first.
    OpenResult Open(const std::string& path, Access access = Access::Shared);
    // Opens an existing file for reading only (a reader of the statistics, a support bundle).
    OpenResult OpenForReading(const std::string& path);
    bool IsOpen() const;
    void Close();
    const std::string& Path() const { return path_; }

    // The operations below need an open file and throw std::system_error naming the file on failure.
    std::uint64_t Size() const;
    // Extends with zeros or cuts.
    void Resize(std::uint64_t size);
    // Reads exactly `size` bytes at `offset`; a file shorter than that is an I/O error.
    void ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Writes `text` at the end in one write call and flushes it to the disk. Lines of several writers never
    // interleave as long as each appends under the same turn.
    void Append(std::string_view text);
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
    [[noreturn]] void Fail(const std::error_code& error) const;
    void Unlock(std::uint64_t key) const;

    std::string path_;
    std::intptr_t handle_ = -1;  // the platform's descriptor or handle
};

}  // namespace tessel
