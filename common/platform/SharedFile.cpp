#include "common/platform/SharedFile.h"

#include <utility>

namespace tessel {

SharedFile::OpenResult SharedFile::Open(const std::string& path, Access access) {
    return OpenFile(path, access, Writers::Many);
}

SharedFile::OpenResult SharedFile::OpenForReading(const std::string& path) {
    return OpenFileForReading(path);
}

SharedFile::Turn::~Turn() {
    Release();
}

SharedFile::Turn::Turn(Turn&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), key_(other.key_) {}

SharedFile::Turn& SharedFile::Turn::operator=(Turn&& other) noexcept {
    if (this != &other) {
        Release();
        file_ = std::exchange(other.file_, nullptr);
        key_ = other.key_;
    }
    return *this;
}

void SharedFile::Turn::Release() {
    if (file_ != nullptr) std::exchange(file_, nullptr)->Unlock(key_);
}

}  // namespace tessel
