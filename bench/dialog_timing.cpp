// Times the driver's dialogs as a host without Qt meets them, and prints the figures and their ratios:
//   first  the first AboutBox of the process: loading the dialogs module and Qt, making the application
//   object
//          on this thread, and showing and closing the box;
//   later  a later AboutBox, status dialog and property frame (the module and Qt are there);
//   bare   a bare QDialog made, shown and closed in the same way, with nothing of the driver.
// Each dialog is closed from the thread's message queue as soon as it is open, so the figures include one
// trip through the queue, as every dialog of the driver would. Offscreen unless QT_QPA_PLATFORM says
// otherwise.
//
//   tessel_dialog_timing [ROUNDS]

#include <dlfcn.h>

#include <QApplication>
#include <QDialog>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/com/ComCreate.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/platform/MessageQueue.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "dialog_timing: %s\n", why.c_str());
    std::exit(1);
}

// Closes the modal window as soon as one is open, from the thread's message queue.
class Closer {
  public:
    Closer()
        : window_([this](std::uint32_t, std::uintptr_t, std::intptr_t) {
              if (QWidget* open = QApplication::activeModalWidget())
                  open->close();
              else
                  window_.Post(1, 0, 0);
          }) {}
    void Arm() { window_.Post(1, 0, 0); }

  private:
    tessel::MessageWindow window_;
};

// The built driver copied into a folder of its own, with its dialogs module beside it, registered in a
// settings store of its own: the driver keeps its counters beside itself.
std::string InstallDriver(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    const fs::path library = folder / "libTesselDrv.so";
    fs::copy_file(TESSEL_DRIVER_LIBRARY, library, fs::copy_options::overwrite_existing);
    fs::remove(folder / "libTesselDrvUi.so");
    fs::create_symlink(fs::canonical(TESSEL_DIALOGS_LIBRARY), folder / "libTesselDrvUi.so");
    ::setenv("TESSEL_REGISTRY_DIR", folder.c_str(), 1);
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) Fail("cannot load the driver");
    auto reg = reinterpret_cast<HRESULT (*)()>(::dlsym(handle, "DllRegisterServer"));
    if (reg == nullptr || reg() != S_OK) Fail("the driver did not register");
    return library.string();
}

tessel::ComPtr<ITesselDriver> CreateDriver() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(tessel::Utf8ToBstr("Addin.TesselDriver").get(), &clsid))) Fail("no ProgID");
    tessel::ComPtr<ITesselDriver> driver;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITesselDriver, driver.PutVoid())))
        Fail("cannot create the driver");
    return driver;
}

double Time(Closer& closer, const std::function<void()>& show) {
    closer.Arm();
    const auto start = Clock::now();
    show();
    return Millis(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    ::setenv("QT_QPA_PLATFORM",
             std::getenv("QT_QPA_PLATFORM") != nullptr ? std::getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    const auto folder =
        std::filesystem::temp_directory_path() / ("tessel-dialog-timing-" + std::to_string(::getpid()));
    InstallDriver(folder);
    {
        Closer closer;
        const auto created = Clock::now();
        tessel::ComPtr<ITesselDriver> driver = CreateDriver();
        const double create = Millis(Clock::now() - created);
        const double first = Time(closer, [&] { driver->AboutBox(); });
        if (QCoreApplication::instance() == nullptr) Fail("the dialogs module made no application object");

        std::vector<double> about, status, properties, bare;
        for (int i = 0; i < rounds; ++i) {
            about.push_back(Time(closer, [&] { driver->AboutBox(); }));
            status.push_back(Time(closer, [&] {
                LONG code = 0;
                driver->ShowStatusDlg(&code);
            }));
            properties.push_back(Time(closer, [&] {
                LONG code = 0;
                driver->ShowProperties(&code);
            }));
            bare.push_back(Time(closer, [] {
                QDialog dialog;
                dialog.exec();
            }));
        }
        const double b = Median(bare);
        std::printf("driver object created               %8.2f ms\n", create);
        std::printf("first AboutBox (module, Qt, dialog) %8.2f ms  %7.1fx a bare QDialog\n", first,
                    first / b);
        std::printf("later AboutBox, median of %-3d       %8.2f ms  %7.1fx\n", rounds, Median(about),
                    Median(about) / b);
        std::printf("later ShowStatusDlg, median of %-3d  %8.2f ms  %7.1fx\n", rounds, Median(status),
                    Median(status) / b);
        std::printf("later ShowProperties, median of %-3d %8.2f ms  %7.1fx\n", rounds, Median(properties),
                    Median(properties) / b);
        std::printf("bare QDialog, median of %-3d         %8.2f ms\n", rounds, b);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
