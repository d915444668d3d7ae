#pragma once
// A file held open for reading and writing with an exclusive lock: one holder on the machine writes it,
// others may only read it. The driver's log and its counters file use it, so that a second engine on the
// machine takes another file. On Linux an advisory lock (flock); on Windows the file is opened without write
// sharing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tessel {

class LockedFile {
  public:
    enum class Outcome {
        Opened,
        Busy,         // another holder has it
        Unusable,     // the name exists but is not a regular file we may open for reading and writing
        CannotCreate  // the name does not exist and the file cannot be created
    };

    struct OpenResult {
        Outcome outcome = Outcome::Opened;
        std::error_code error;  // why, for any outcome but Opened
    };

    LockedFile() = default;
    ~LockedFile();
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Who may read the file. Shared: a file this call creates is readable by all; an existing file keeps its
    // permissions. Private (Linux): readable by its owner only, also an existing one, which is made so; the
    // name must not be a link, and a file of another user is refused (Unusable, EPERM). Windows files follow
    // their folder's rules.
    enum class NewFile { Shared, Private };

    // Opens `path`, creating it when it does not exist (never truncating it: a file another holder has is
    // never touched), and takes the lock without waiting. A file already open here is closed first.
    OpenResult Open(const std::string& path, NewFile newFile = NewFile::Shared);
    bool IsOpen() const;
    // Releases the lock and the file; nothing when closed.
    void Close();

    // The operations below need an open file and throw std::system_error naming the file on failure.
    std::uint64_t Size() const;
    // Extends with zeros or cuts.
    void Resize(std::uint64_t size);
    // Reads exactly `size` bytes at `offset`; a file shorter than that is an I/O error (it was cut).
    void ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Returns once what was written has reached the disk (data, not times), so it survives a power cut.
    void SyncData();
    // Appends `text` in one write call (lines of several writers never interleave) and flushes it to disk.
    void Append(std::string_view text);

    const std::string& Path() const { return path_; }

  private:
    [[noreturn]] void Fail(const std::error_code& error) const;

    std::string path_;
    std::intptr_t handle_ = -1;  // the platform's descriptor or handle
};

}  // namespace tessel
