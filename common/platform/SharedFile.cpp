#include "common/platform/SharedFile.h"

#include <utility>

namespace tessel {

SharedFile::~SharedFile() {
    Close();
}

SharedFile::SharedFile(SharedFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

bool SharedFile::IsOpen() const {
    return handle_ != -1;
}

void SharedFile::Fail(const std::error_code& error) const {
    throw std::system_error(error, path_);
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
