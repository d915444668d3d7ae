#pragma once
// The sequence counters of every pair of serial port and peer address, kept in a file that survives restarts,
// and the last request sent to each peer, kept beside it.
//
// The counters file holds 65536 records of 4 bytes, no header; the record of port p and peer a is number
// a + 256 * (p mod 256). Its bytes: 0 the C1 of the next request to the peer, 1 the C2 of the last answer
// from it (both sent in our requests), 2 the C1 of the last request taken from the peer, 3 the count of
// requests taken from it (both sent in our answers). All arithmetic is modulo 256; a new file is all zeros.
//
// Exactly once. A peer answers a request that carries the counters of the last one it took from its stored
// answer, whatever it asks. So a request whose every try lost its answer must not lend its counters to
// another request: its outcome is unknown, and the peer may hold its answer. The counters keep, per peer, the
// last request sent ("open" while its answer has not been taken: its C1 is still the request number) in the
// open-requests file beside the counters file ("Counters0.open" beside "Counters0.dat"), so that the next
// engine on the same counters knows it too. The same request goes out again with the same counters (the peer
// answers it from its stored answer, or executes it now if it never got it); any other request takes the next
// number, which the peer refuses as out of sequence without executing it, and its answer puts both sides in
// step again.
//
// Records are read and written directly in the files, one at a time and under the counters' own lock, and
// every write has reached the disk when the call returns (unless the counters are Unsynced), so the caller's
// thread and a port thread may use the counters at the same time and a power cut loses nothing that was
// reported done. The files are held open with an exclusive lock for the counters' whole life, so that a
// second engine takes files of its own.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "common/platform/Bytes.h"

class TCommand;

// A file of records, read and written in place. Writes are durable when they return.
class TRecordFile {
  public:
    virtual ~TRecordFile() = default;
    virtual const std::string& FileName() const = 0;
    // Both throw std::system_error naming the file on failure.
    virtual void Read(std::uint64_t offset, void* data, std::size_t size) const = 0;
    virtual void Write(std::uint64_t offset, const void* data, std::size_t size) = 0;
};

class TCounters {
  public:
    static constexpr std::size_t kRecordSize = 4;
    static constexpr std::size_t kRecordCount = 65536;
    static constexpr std::size_t kFileSize = kRecordSize * kRecordCount;  // 262144
    // How many file numbers OpenInDirectory tries by default before it gives up.
    static constexpr int kMaxFileNumber = 1000;
    // The open-requests file: slots of one request each, for as many peers as a machine talks to at once;
    // when all are taken the slot of a peer whose request was answered is reused first.
    static constexpr std::size_t kOpenSlotSize = 512;
    static constexpr std::size_t kOpenSlotCount = 64;
    static constexpr std::size_t kOpenFileSize = kOpenSlotSize * kOpenSlotCount;

    // Opens `fileName` for reading and writing, creating it if it does not exist, takes its exclusive lock
    // and sets its size to kFileSize (a shorter file is extended with zeros, a longer one cut); the same for
    // its open-requests file. Throws std::system_error naming the file when either cannot be created or
    // opened, is not a regular file, is locked by another holder (device or resource busy) or cannot be
    // sized.
    // Whether every write waits for the disk. The driver's counters do: a power cut must not lose a count
    // that an operation reported done. An emulated register's need not.
    enum class Durability { Synced, Unsynced };

    explicit TCounters(const std::string& fileName, Durability durability = Durability::Synced);
    // Counters over files of the caller's (tests give files that fail on demand). The open-requests file is
    // read at once: a slot that is damaged or names no request is taken as free.
    TCounters(std::unique_ptr<TRecordFile> counters, std::unique_ptr<TRecordFile> openRequests);
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
                                                      int maxNumber = kMaxFileNumber,
                                                      Durability durability = Durability::Synced);

    // The "Counters%d.dat" name of a file number, without a directory.
    static std::string FileNameFor(int number);
    // The open-requests file kept beside a counters file: ".dat" replaced by ".open", else ".open" added.
    static std::string OpenRequestsFileFor(const std::string& countersFile);
    // Byte offset of the record of (port, address): the port is taken modulo 256, so it is always inside
    // the file, for any port number, negative ones included.
    static std::size_t RecordOffset(std::int32_t port, std::uint8_t address);

    const std::string& FileName() const;

    // Sets the command's C1 and C2 for the frame about to be built from the record of its (PortNumber,
    // DstAddress): bytes 0 and 1 for a request (CommandType 0), bytes 2 and 3 for any other type.
    // Writes nothing. Throws std::system_error naming the file when the record cannot be read.
    void CountersFor(TCommand& command);

    // The counters of a try of `request` (opcode and data) about to be sent to (port, address), made the
    // peer's open request before it goes out:
    // - the peer's open request is this very request, sent with counters the peer may have taken: the same
    //   counters again, nothing written;
    // - another request is open, or this one was sent to be refused (below): the request number moves on,
    //   and the request goes out to be refused as out of sequence. Every try of such a request takes the next
    //   number again: one that repeated a refused try's counters would be a repetition, answered with the
    //   stored answer of the request before;
    // - nothing is open: the record's counters.
    // Durable when it returns. Throws std::system_error naming the file when a file cannot be read or
    // written; nothing is then to be sent.
    struct TRequestCounters {
        std::uint8_t c1 = 0;
        std::uint8_t c2 = 0;
        bool refusable = false;  // out of sequence by construction: the peer executes nothing
    };
    TRequestCounters BeginRequest(std::int32_t port, std::uint8_t address, const Bytes& request);

    // Classifies a received, decoded frame against the record of its (PortNumber, SrcAddress), sets its
    // OutOfSequence, ExecuteFlag and RollbackFlag and writes the changed record back. A frame whose
    // checksum failed (CrcOk false) cannot be trusted to carry real counters: it only has its flags
    // cleared, and the record is left as it is. An answer counts only when its C1 is the request number,
    // that is when it answers the newest request sent to the peer; an older one (the second copy of an
    // answer taken already, or the late answer of a request given up for another) leaves the record as it
    // is, and the call returns true for it. With `anyRequestNumber` the answer counts whatever its C1: the
    // search reaches every register with the counters of the broadcast address, and each takes it as its
    // next request. Throws std::system_error naming the file when the record cannot be read or written;
    // the flags are then already cleared.
    bool ApplyReceived(TCommand& command, bool anyRequestNumber = false);

    // Steps the request number of the record of (port, address) back by one, so that the next request
    // carries the counters of the last one the peer answered: the peer takes it as a rollback and executes
    // it in place of that one. What a register does when its last request is undone (the emulator plays
    // it). Throws std::system_error naming the file when the record cannot be read or written.
    void StepBackRequest(std::int32_t port, std::uint8_t address);

  private:
    class TOpenRequests;

    std::unique_ptr<TRecordFile> file_;
    std::unique_ptr<TOpenRequests> open_;
    // Serialises the two threads that use the counters; each call is one read-modify-write of a record.
    std::mutex mutex_;
};
