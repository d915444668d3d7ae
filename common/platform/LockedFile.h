#pragma once
// A data file held with an exclusive lock: one holder on the machine writes it, others may only read it.
// The counters file uses it, so that a second engine on the machine takes another file. On Linux an advisory
// lock (flock); on Windows the file is opened without write sharing.

#include <string>

#include "common/platform/DataFile.h"

namespace tessel {

class LockedFile : public DataFile {
  public:
    // Opens `path`, creating it when it does not exist (never truncating it: a file another holder has is
    // never touched), and takes the lock without waiting: Busy when another holder has it. A file already
    // open here is closed first. Close releases the lock.
    OpenResult Open(const std::string& path, Access access = Access::Shared);

  private:
    // Takes the lock on the file just opened; Busy or Unusable when it cannot.
    OpenResult Lock();
};

}  // namespace tessel
