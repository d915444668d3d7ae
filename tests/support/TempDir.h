#pragma once
// A temporary folder that removes itself with everything in it.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/tessel-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
