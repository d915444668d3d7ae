#include "common/platform/LockedFile.h"

#include <utility>

namespace tessel {

LockedFile::~LockedFile() {
    Close();
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

bool LockedFile::IsOpen() const {
    return handle_ != -1;
}

void LockedFile::Fail(const std::error_code& error) const {
    throw std::system_error(error, path_);
}

}  // namespace tessel
