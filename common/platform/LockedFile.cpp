#include "common/platform/LockedFile.h"

namespace tessel {

LockedFile::OpenResult LockedFile::Open(const std::string& path, Access access) {
    OpenResult result = OpenFile(path, access, Writers::One);
    if (result.outcome != Outcome::Opened) return result;
    result = Lock();
    if (result.outcome != Outcome::Opened) Close();
    return result;
}

}  // namespace tessel
