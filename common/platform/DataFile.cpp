#include "common/platform/DataFile.h"

#include <utility>

namespace tessel {

DataFile::~DataFile() {
    Close();
}

DataFile::DataFile(DataFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

bool DataFile::IsOpen() const {
    return handle_ != -1;
}

void DataFile::Fail(const std::error_code& error) const {
    throw std::system_error(error, path_);
}

}  // namespace tessel
