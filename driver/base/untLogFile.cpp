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
    file_.Close();
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
    WriteLocked({text});
}

void TLogFile::WriteLocked(const std::vector<std::string>& texts) {
    if (!enabled_ || fileName_.empty()) return;
    std::string lines;
    const std::string stamp = TimeStampNow();
    for (const std::string& text : texts) lines += stamp + text + "\r\n";
    // Each pass either writes or finds that another writer rotated the file first; the bound only guards
    // against a file system that keeps changing under us.
    for (int pass = 0; pass < 64; ++pass) {
        if (!file_.IsOpen() && !OpenLocked()) return;
        try {
            {
                const tessel::SharedFile::Turn turn = file_.TakeTurn(0);
                if (file_.IsAt(fileName_)) {
                    const std::uint64_t size = maxBytes_ == 0 ? 0 : file_.Size();
                    if (size == 0 || size + lines.size() <= maxBytes_ || !RotateLocked()) {
                        // One write per line or report; a failed write loses it, as the log promises.
                        file_.Append(lines);
                        return;
                    }
                }
            }
            // Rotated away, by us or by another writer: the lines go into the file now at the name.
            file_.Close();
        } catch (const std::system_error&) {
            file_.Close();
            return;
        }
    }
}

bool TLogFile::RotateLocked() {
    // The oldest goes first; a missing older file is simply not there yet.
    std::error_code error;
    for (int n = keptFiles_ - 1; n >= 1; --n)
        tessel::SharedFile::Rename(RotatedName(fileName_, n), RotatedName(fileName_, n + 1), error);
    return tessel::SharedFile::Rename(fileName_, RotatedName(fileName_, 1), error);
}

std::string TLogFile::RotatedName(const std::string& fileName, int n) {
    return fileName + "." + std::to_string(n);
}

void TLogFile::SetRotation(std::uint64_t maxBytes, int keptFiles) {
    std::lock_guard lock(mutex_);
    maxBytes_ = maxBytes;
    keptFiles_ = keptFiles < 1 ? 1 : keptFiles;
}

std::uint64_t TLogFile::MaxBytes() const {
    std::lock_guard lock(mutex_);
    return maxBytes_;
}

int TLogFile::KeptFiles() const {
    std::lock_guard lock(mutex_);
    return keptFiles_;
}

void TLogFile::Separator() {
    Write(kSeparator);
}

void TLogFile::WriteError(const std::string& step, const std::string& message) {
    // The three lines go out in one turn, so another writer's line cannot split the report.
    std::lock_guard lock(mutex_);
    WriteLocked({step, message, kSeparator});
}

bool TLogFile::Enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void TLogFile::SetEnabled(bool value) {
    std::lock_guard lock(mutex_);
    if (value == enabled_) return;
    enabled_ = value;
    file_.Close();
}

std::string TLogFile::FileName() const {
    std::lock_guard lock(mutex_);
    return fileName_;
}

void TLogFile::SetFileName(const std::string& value) {
    std::lock_guard lock(mutex_);
    if (value == fileName_) return;
    file_.Close();
    fileName_ = value;
}

bool TLogFile::OpenLocked() {
    // Private to its owner: the log carries the frames of table writes, and a table holds the cashiers'
    // passwords. Other engines of the same user write it in turns; anyone it is readable to may read it.
    return file_.Open(fileName_, tessel::SharedFile::Access::Private).outcome ==
           tessel::SharedFile::Outcome::Opened;
}
