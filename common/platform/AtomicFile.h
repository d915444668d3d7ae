#pragma once
// Whole-file replacement that a crash can never leave half-written.

#include <sys/types.h>
#include <string>
#include <string_view>

namespace tessel {

// Writes `contents` to a temporary file beside `path`, flushes it to disk, renames it over `path` and
// flushes the directory, so that `path` holds either the old or the new contents at every moment.
// The new file gets permission bits `mode`. Throws std::system_error naming the path on failure; the old
// file is then untouched and the temporary file removed. Temporary files that writers of the same path left
// behind when they were killed before the rename are removed first.
void WriteFileAtomically(const std::string& path, std::string_view contents, mode_t mode = 0600);

// Reads a whole file. Returns false when it does not exist; throws std::system_error naming the path on any
// other failure.
bool ReadWholeFile(const std::string& path, std::string& contents);

}  // namespace tessel
