#pragma once
// The driver's plain-text log: every byte exchanged with the register and every error the driver swallows.
//
// Each line is "dd.mm.yyyy hh:mm:ss.zzz " + text + CR LF, written in one write call and flushed at once.
// The file is opened on the first line written while enabled (appended to, never truncated) and stays open
// until the name or the enabled state changes. Lines from several threads never interleave (the log takes a
// lock). The file is readable by its owner only (Linux): an existing log of ours is made so, and a name
// that is a link or another user's file is not written. Failures are silent: a log that cannot be opened
// (bad path, no rights, a link or another user's file, or held open for writing by another process, which
// the log learns from the file's lock) drops the line and tries again with the next one; a failed write
// loses its line.

#include <mutex>
#include <string>

#include "common/platform/LockedFile.h"

class TLogFile {
  public:
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

    // Builds the time stamp prefix for the given local time parts (exposed for tests).
    static std::string FormatTimeStamp(int day, int month, int year, int hour, int minute, int second,
                                       int ms);

  private:
    void WriteLocked(const std::string& text);
    void CloseLocked();
    bool OpenLocked();

    mutable std::mutex mutex_;
    tessel::LockedFile file_;
    std::string fileName_;
    bool enabled_ = false;
};
