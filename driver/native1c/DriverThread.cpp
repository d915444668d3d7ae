#include "driver/native1c/DriverThread.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <future>
#include <stdexcept>
#include <thread>

#include "common/com/ComPtr.h"
#include "common/platform/MessageQueue.h"
#include "driver/automation/oleMain.h"

namespace {

// How long a start may take: the engine reads the settings and opens the counters under their file locks.
constexpr std::chrono::seconds kStartBound{30};
// A wait of the pump ends this often even without a message, as a bound on a stop request that could not
// be posted.
constexpr std::uint32_t kPumpSliceMs = 1000;
// Wakes the pump for a stop; it carries nothing.
constexpr std::uint32_t kWakeMessage = 0x400 + 101;
// The log line that names a delivery that failed on this thread.
constexpr const char* kPumpErrorStep = "Ошибка при доставке события драйвера.";

}  // namespace

class TDriverThread {
  public:
    TDriverThread() {
        std::future<std::string> started = started_.get_future();
        thread_ = std::thread([this] { Run(); });
        std::string failure = "Поток драйвера не запустился вовремя";
        if (started.wait_for(kStartBound) == std::future_status::ready) failure = started.get();
        if (!failure.empty()) {
            Stop();
            throw std::runtime_error(failure);
        }
    }
    ~TDriverThread() { Stop(); }
    TDriverThread(const TDriverThread&) = delete;
    TDriverThread& operator=(const TDriverThread&) = delete;

  private:
    void Run() {
        tessel::ComPtr<ITesselDriver3> anchor;
        std::shared_ptr<tessel::MessageQueue> queue;
        TTesselDrv* driver = nullptr;
        try {
            queue = tessel::MessageQueue::ForCurrentThread();
            wake_ =
                std::make_unique<tessel::MessageWindow>([](std::uint32_t, std::uintptr_t, std::intptr_t) {});
            // The first driver object of the process: the engine and its command window are made here.
            auto made = std::make_unique<TTesselDrv>();
            driver = made.get();
            anchor.Attach(made.release());
        } catch (const std::exception& error) {
            started_.set_value(error.what());
            return;
        }
        ready_ = true;
        started_.set_value({});
        while (!stopping_) {
            try {
                queue->WaitAndDispatch(kPumpSliceMs);
            } catch (const std::exception& error) {
                // One failed delivery must not end the delivery of every later one.
                driver->Engine().Log().WriteError(kPumpErrorStep, error.what());
            }
        }
        // Every component object has released its driver object by now: the engine ends with this one.
    }

    void Stop() {
        stopping_ = true;
        // The window is made before the start is reported, and lives until this object goes; a thread that
        // failed to start has ended by itself.
        if (ready_) wake_->Post(kWakeMessage, 0, 0);
        if (thread_.joinable()) thread_.join();
    }

    std::promise<std::string> started_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> stopping_{false};
    std::unique_ptr<tessel::MessageWindow> wake_;
    std::thread thread_;
};

namespace {

std::mutex g_lock;
std::size_t g_leases = 0;
std::unique_ptr<TDriverThread> g_thread;

}  // namespace

TDriverThreadLease::TDriverThreadLease() {
    // Under the lock throughout, so that a thread still stopping never meets the next one.
    const std::lock_guard lock(g_lock);
    if (g_leases == 0) g_thread = std::make_unique<TDriverThread>();
    ++g_leases;
}

TDriverThreadLease::~TDriverThreadLease() {
    const std::lock_guard lock(g_lock);
    if (--g_leases == 0) g_thread.reset();
}
