#pragma once
// The sequence counters of every pair of serial port and peer address, kept in a file that survives restarts.
//
// The file holds 65536 records of 4 bytes, no header; the record of port p and peer a is number
// a + 256 * (p mod 256). Its bytes: 0 the C1 of the next request to the peer, 1 the C2 of the last answer
// from it (both sent in our requests), 2 the C1 of the last request taken from the peer, 3 the count of
// requests taken from it (both sent in our answers). All arithmetic is modulo 256; a new file is all zeros.
//
// Records are read and written directly in the file, one at a time and under the counters' own lock, so
// every change is in the file when the call returns and the caller's thread and a port thread may use
// the counters at the same time. The file is held open with an exclusive advisory lock for the counters'
// whole life, so that a second engine on the machine takes a file of its own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class TCommand;
class TCountersFile;

class TCounters {
  public:
    static constexpr std::size_t kRecordSize = 4;
    static constexpr std::size_t kRecordCount = 65536;
    static constexpr std::size_t kFileSize = kRecordSize * kRecordCount;  // 262144
    // How many file numbers OpenInDirectory tries by default before it gives up.
    static constexpr int kMaxFileNumber = 1000;

    // Opens `fileName` for reading and writing, creating it if it does not exist, takes its exclusive lock
    // and sets its size to kFileSize (a shorter file is extended with zeros, a longer one cut).
    // Throws std::system_error naming the file when it cannot be created or opened, is not a regular
    // file, is locked by another holder (device or resource busy) or cannot be sized.
    explicit TCounters(const std::string& fileName);
    ~TCounters();
    TCounters(const TCounters&) = delete;
    TCounters& operator=(const TCounters&) = delete;

    // Opens the counters on the first of "<directory>/Counters0.dat", "Counters1.dat", ... that does not
    // exist (it is created) or exists and can be opened and locked exclusively; files held by another
    // engine, and names that exist but cannot be opened as a regular file, are passed over. Choosing and
    // locking are one step, so two engines starting together never share a file. Throws std::system_error
    // naming the file when a file that does not exist cannot be created (the directory is missing or not
    // writable) or the chosen file cannot be sized; std::runtime_error when the numbers 0 to
    // maxNumber - 1 are all taken; std::invalid_argument for a maxNumber below 1.
    static std::unique_ptr<TCounters> OpenInDirectory(const std::string& directory,
                                                      int maxNumber = kMaxFileNumber);

    // The "Counters%d.dat" name of a file number, without a directory.
    static std::string FileNameFor(int number);
    // Byte offset of the record of (port, address): the port is taken modulo 256, so it is always inside
    // the file, for any port number, negative ones included.
    static std::size_t RecordOffset(std::int32_t port, std::uint8_t address);

    const std::string& FileName() const;

    // Sets the command's C1 and C2 for the frame about to be built from the record of its (PortNumber,
    // DstAddress): bytes 0 and 1 for a request (CommandType 0), bytes 2 and 3 for any other type.
    // Writes nothing. Throws std::system_error naming the file when the record cannot be read.
    void CountersFor(TCommand& command);

    // Classifies a received, decoded frame against the record of its (PortNumber, SrcAddress), sets its
    // OutOfSequence, ExecuteFlag and RollbackFlag and writes the changed record back. A frame whose
    // checksum failed (CrcOk false) cannot be trusted to carry real counters: it only has its flags
    // cleared, and the record is left as it is. Returns true for an answer that repeats the last answer
    // taken from the peer (its C1 one below the request number, its C2 the C2 kept): a register that
    // answers a request late and then its repetition from the stored answer sends one answer twice, and
    // the second must not count. Such an answer leaves the record as it is. Throws std::system_error
    // naming the file when the record cannot be read or written; the flags are then already cleared.
    bool ApplyReceived(TCommand& command);

    // Steps the request number of the record of (port, address) back by one, so that the next request
    // carries the counters of the last one the peer answered: the peer takes it as a rollback and executes
    // it in place of that one. What a register does when its last request is undone (the emulator plays
    // it). Throws std::system_error naming the file when the record cannot be read or written.
    void StepBackRequest(std::int32_t port, std::uint8_t address);

  private:
    // Only the counters themselves can name the key: the constructor that takes it is public for
    // std::make_unique, and receives a file that OpenInDirectory has already opened and locked.
    class TOpenedKey {
      public:
        explicit TOpenedKey() = default;
    };

  public:
    TCounters(TOpenedKey, std::unique_ptr<TCountersFile> file);

  private:
    std::unique_ptr<TCountersFile> file_;
    // Serialises the two threads that use the counters; each call is one read-modify-write of a record.
    std::mutex mutex_;
};
