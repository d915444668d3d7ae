#pragma once
// A file of the driver's own data, held open for reading and writing at offsets: what the counters file
// (one writer, LockedFile) and the shared log and statistics (many writers taking turns, SharedFile) have
// in common. It takes no lock itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tessel {

class DataFile {
  public:
    enum class Outcome {
        Opened,
        Busy,         // another holder has it (LockedFile only)
        Unusable,     // the name exists but is not a regular file we may open (or, private: is a link or
                      // another user's file)
        CannotCreate  // the name does not exist and the file cannot be created
    };

    struct OpenResult {
        Outcome outcome = Outcome::Opened;
        std::error_code error;  // why, for any outcome but Opened
    };

    // Who may read the file. Shared: a file this call creates is readable by all; an existing file keeps its
    // permissions. Private (Linux): readable by its owner only, also an existing one, which is made so; the
    // name must not be a link, and another user's file is refused (Unusable, EPERM). Windows files follow
    // their folder's rules.
    enum class Access { Shared, Private };

    DataFile() = default;
    ~DataFile();
    DataFile(DataFile&& other) noexcept;
    DataFile& operator=(DataFile&& other) noexcept;
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    bool IsOpen() const;
    // Releases the file and any lock taken on it; nothing when closed.
    void Close();
    const std::string& Path() const { return path_; }

    // The operations below need an open file and throw std::system_error naming the file on failure.
    std::uint64_t Size() const;
    // Extends with zeros or cuts.
    void Resize(std::uint64_t size);
    // Reads exactly `size` bytes at `offset`; a file shorter than that is an I/O error (it was cut).
    void ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Returns once what was written has reached the disk (data, not times), so it survives a power cut.
    void SyncData();
    // Writes `text` at the end in one write call and flushes it to the disk; a write cut short is taken
    // back, so no reader sees half of it. Only one writer at a time may append (a lock or a turn).
    void Append(std::string_view text);

  protected:
    // Whether other openers may write the file meanwhile (Windows share modes; Linux shares always).
    enum class Writers { One, Many };
    // Opens `path` for reading and writing, creating it when it does not exist, never truncating it. A file
    // open here is closed first.
    OpenResult OpenFile(const std::string& path, Access access, Writers writers);
    // Opens an existing regular file for reading only.
    OpenResult OpenFileForReading(const std::string& path);
    std::intptr_t Handle() const { return handle_; }
    [[noreturn]] void Fail(const std::error_code& error) const;

  private:
    std::string path_;
    std::intptr_t handle_ = -1;  // the platform's descriptor or handle
};

}  // namespace tessel
