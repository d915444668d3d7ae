#pragma once
// The driver's plain-text log: every byte exchanged with the register and every error the driver swallows.
//
// Each line is "dd.mm.yyyy hh:mm:ss.zzz " + text + CR LF, written in one write call and flushed at once.
// The file is opened on the first line written while enabled (appended to, never truncated) and stays open
// until the name or the enabled state changes. It is readable by its owner only (Linux): an existing log of
// ours is made so, and a name that is a link or another user's file is not written.
//
// Several writers share one log: the threads of a process and every engine of the user that names the same
// file. Each line (and each three-line error report) is written in a turn that the writers take on the file,
// so lines never interleave or split and none is lost to another writer.
//
// Rotation: when a line would take the file past its cap, the file is renamed to "<name>.1" (the older ones
// to ".2" ... up to the number kept, the oldest removed) and the line starts a new file. It happens in the
// turn of the file being rotated, and a writer checks in its turn that its file is still the one at the name,
// so no line ever goes into a file that was rotated away. A line longer than the cap fills a file alone.
//
// Failures are silent: a log that cannot be opened (bad path, no rights, a link or another user's file)
// drops the line and tries again with the next one; a failed write loses its line; a rotation that cannot
// rename goes on writing the full file.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/platform/SharedFile.h"

class TLogFile {
  public:
    // The cap of one file and the number of older files kept, unless the settings say otherwise.
    static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t{10} << 20;
    static constexpr int kDefaultKeptFiles = 3;

    TLogFile() = default;
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    void Write(const std::string& text);
    // The line of 60 hyphens that ends an error report.
    void Separator();
    // The three-line error report: the failed step, the error's message, the separator.
    void WriteError(const std::string& step, const std::string& message);

    bool Enabled() const;
    // A new value closes the file; the same value changes nothing.
    void SetEnabled(bool value);
    std::string FileName() const;
    // A different name (compared case-sensitively) closes the file; the same name changes nothing.
    void SetFileName(const std::string& value);

    // The cap of one file in bytes (0: none) and how many older files are kept (at least 1).
    void SetRotation(std::uint64_t maxBytes, int keptFiles);
    std::uint64_t MaxBytes() const;
    int KeptFiles() const;
    // The name of the n-th older file of the log `fileName` ("<fileName>.<n>").
    static std::string RotatedName(const std::string& fileName, int n);

    // Builds the time stamp prefix for the given local time parts (exposed for tests).
    static std::string FormatTimeStamp(int day, int month, int year, int hour, int minute, int second,
                                       int ms);

  private:
    void WriteLocked(const std::vector<std::string>& texts);
    bool OpenLocked();
    // In the file's turn: moves the older files up and the file to "<name>.1"; false when it cannot.
    bool RotateLocked();

    mutable std::mutex mutex_;
    tessel::SharedFile file_;
    std::string fileName_;
    bool enabled_ = false;
    std::uint64_t maxBytes_ = kDefaultMaxBytes;
    int keptFiles_ = kDefaultKeptFiles;
};
