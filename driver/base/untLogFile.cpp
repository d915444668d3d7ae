#include "driver/base/untLogFile.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

namespace {

const char kSeparator[] = "------------------------------------------------------------";

std::string TimeStampNow() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    return TLogFile::FormatTimeStamp(tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                                     tm.tm_sec, static_cast<int>(ms));
}

}  // namespace

TLogFile::~TLogFile() {
    std::lock_guard lock(mutex_);
    CloseLocked();
}

std::string TLogFile::FormatTimeStamp(int day, int month, int year, int hour, int minute, int second,
                                      int ms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2d.%.2d.%.4d %.2d:%.2d:%.2d.%.3d ", day, month, year, hour, minute,
                  second, ms);
    return buf;
}

void TLogFile::Write(const std::string& text) {
    std::lock_guard lock(mutex_);
    WriteLocked(text);
}

void TLogFile::WriteLocked(const std::string& text) {
    if (!enabled_) return;
    if (!file_.IsOpen() && !OpenLocked()) return;
    // One write per line; a failed write loses the line, as the log promises.
    try {
        file_.Append(TimeStampNow() + text + "\r\n");
    } catch (const std::system_error&) {
    }
}

void TLogFile::Separator() {
    Write(kSeparator);
}

void TLogFile::WriteError(const std::string& step, const std::string& message) {
    // The three lines go out under one hold of the lock, so another thread's line cannot split the report.
    std::lock_guard lock(mutex_);
    WriteLocked(step);
    WriteLocked(message);
    WriteLocked(kSeparator);
}

bool TLogFile::Enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void TLogFile::SetEnabled(bool value) {
    std::lock_guard lock(mutex_);
    if (value == enabled_) return;
    enabled_ = value;
    CloseLocked();
}

std::string TLogFile::FileName() const {
    std::lock_guard lock(mutex_);
    return fileName_;
}

void TLogFile::SetFileName(const std::string& value) {
    std::lock_guard lock(mutex_);
    if (value == fileName_) return;
    CloseLocked();
    fileName_ = value;
}

bool TLogFile::OpenLocked() {
    if (fileName_.empty()) return false;
    // Private to its owner: the log carries the frames of table writes, and a table holds the cashiers'
    // passwords. An existing log of ours is made private too; a link at its name, or another user's file,
    // is not written. Others may read the log while it is open, but not write it: a writer elsewhere holds
    // the lock.
    return file_.Open(fileName_, tessel::LockedFile::NewFile::Private).outcome ==
           tessel::LockedFile::Outcome::Opened;
}

void TLogFile::CloseLocked() {
    file_.Close();
}
