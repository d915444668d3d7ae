#pragma once
// An environment variable of the test program set for the lifetime of the object (a port's device path,
// TESSEL_COM<N>, is the usual one).

#include <cstdlib>
#include <string>
#include <utility>

namespace tessel_test {

class ScopedEnv {
  public:
    // Sets `name` to `value`; the variable is removed when the object goes.
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(name_.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
};

// The variable through which the driver finds the device of port `port`.
inline std::string PortVariable(int port) {
    return "TESSEL_COM" + std::to_string(port);
}

}  // namespace tessel_test
