#pragma once
// The built driver library registered with tessel-regsvr, as an installation registers it. For test
// programs that are given TESSEL_REGSVR and TESSEL_DRIVER_LIBRARY.

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tessel_test {

// The built server, as its registration names it.
inline std::string DriverLibrary() {
    return std::filesystem::canonical(TESSEL_DRIVER_LIBRARY).string();
}

// tessel-regsvr with `args`, run to its end; its output and errors in `out`, in the order written.
inline RunResult RunRegsvr(const std::vector<std::string>& args, const Env& env = {}) {
    return RunProgram(TESSEL_REGSVR, args, env, ChildErrors::WithOutput);
}

// tessel-regsvr with `args` ended with status 0; otherwise the failure names its status and output.
inline ::testing::AssertionResult RegsvrSucceeds(const std::vector<std::string>& args, const Env& env = {}) {
    const RunResult r = RunRegsvr(args, env);
    if (r.status == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "tessel-regsvr ended with " << r.status << ": " << r.out;
}

// A copy of the built driver library in a temporary folder of its own, removed with the object. The
// driver keeps its sequence counters and its default log beside the library its registration names, and
// loads its dialogs module from there: test programs given TESSEL_DIALOGS_LIBRARY find the built module
// linked beside the copy.
class DriverCopy {
  public:
    // Throws std::filesystem::filesystem_error when the copy cannot be made.
    DriverCopy() : library_(std::filesystem::canonical(dir_.Path()).string() + "/libTesselDrv.so") {
        std::filesystem::copy_file(TESSEL_DRIVER_LIBRARY, library_);
#ifdef TESSEL_DIALOGS_LIBRARY
        std::filesystem::create_symlink(std::filesystem::canonical(TESSEL_DIALOGS_LIBRARY),
                                        std::filesystem::path(library_).parent_path() / "libTesselDrvUi.so");
#endif
    }
    const std::string& Library() const {
        return library_;
    }
    const std::string& Folder() const {
        return dir_.Path();
    }

  private:
    TempDir dir_;
    std::string library_;
};

// A settings folder of the test's own with a copy of the driver registered in it, so that the driver's
// counters start afresh as the emulator's do and nothing reaches the test program's own settings.
class RegisteredCopy {
  public:
    // Throws std::runtime_error with the tool's output when the registration fails.
    RegisteredCopy() {
        const RunResult r = RunRegsvr({copy_.Library()}, Settings());
        if (r.status != 0) throw std::runtime_error("tessel-regsvr failed: " + r.out);
    }
    // The environment that points a child at this settings folder.
    Env Settings() const { return {{"TESSEL_REGISTRY_DIR", copy_.Folder()}}; }
    const std::string& Folder() const { return copy_.Folder(); }

  private:
    DriverCopy copy_;
};

}  // namespace tessel_test
