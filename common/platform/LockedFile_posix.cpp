// The locked file on Linux: an advisory flock, which every holder of this kind takes; readers need none.
#include <sys/file.h>

#include <cerrno>

#include "common/platform/LockedFile.h"

namespace tessel {

LockedFile::OpenResult LockedFile::Lock() {
    if (::flock(static_cast<int>(Handle()), LOCK_EX | LOCK_NB) == 0) return {};
    const int error = errno;
    return {error == EWOULDBLOCK ? Outcome::Busy : Outcome::Unusable, {error, std::generic_category()}};
}

}  // namespace tessel
