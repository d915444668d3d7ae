#pragma once
// Logical devices: named, numbered connection settings for one cash register each (port, speed, address on
// the line), and the list of them of which one is current. The list lives in the settings store under
// "Software\Korvex\TesselDrv\TesselDrv\Devices" between runs.
//
// Threads. The list (Add, Delete, Load, selection, names) is changed only on the threads that call the
// engine. Each open port has an event thread that hands complete frames to the list's frame handler inside
// the list's critical section, so frames of all devices reach the engine one at a time.
//
// Deleting a device while its port thread delivers a frame: Delete detaches the device from the list under
// the critical section, leaves it, and only then destroys the device. The device's destructor closes its
// port first, which joins the port thread; a thread waiting for the critical section meanwhile gets it,
// finishes its handler with the still whole (only detached) device and ends, so the join completes. Had
// Delete held the lock while joining, that thread would wait for the lock forever. The handler thus may see
// a device that is no longer in the list, never a half-destroyed one.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/platform/SyncObjects.h"
#include "driver/link/CUComm.h"
#include "driver/link/untDriver.h"

class TDevices;
class TLogFile;

// One logical device: the link object of its port plus the register's address, a name and a number.
class TDevice final : public TDriver {
  public:
    static constexpr std::uint8_t kDefaultDstAddress = 2;
    static constexpr std::size_t kMaxNameLength = 20;  // characters, not bytes
    static constexpr int kMinNumber = 1;
    static constexpr int kMaxNumber = 99;

    // A device of `owner` on `port` (closed), with the defaults: address 2, name "Без названия", number 0
    // (not yet given), Fuel false, baud code 3, port 1. `log` may be null. Fails like TDriver.
    TDevice(TDevices& owner, std::unique_ptr<ICommPort> port, TLogFile* log);
    // Closes the port and so ends its event thread before any part of the device goes.
    ~TDevice() override;

    TDevices& Owner() const { return owner_; }

    std::uint8_t DstAddress() const { return dstAddress_.load(); }
    void SetDstAddress(std::uint8_t value) { dstAddress_.store(value); }

    // Caller's thread only.
    const std::string& DeviceName() const { return name_; }
    // The same name is always taken; another one longer than 20 characters fails with
    // EDriverError(E_INVALIDVALUE) and leaves the name as it was.
    void SetDeviceName(const std::string& value);

    // 0 until the list gives one; readable from the event thread.
    int DeviceNumber() const { return number_.load(); }
    // 1..99, else EDriverError(E_INVALIDVALUE). Uniqueness is the list's business.
    void SetDeviceNumber(int value);

  protected:
    // Hands the frame to the list instead of marking the line idle.
    void FrameComplete(TEcrFrame& frame) override;
    void BadEscape(TEcrFrame& frame) override;
    // Tells the list, after the link has forgotten the line.
    void PortGone(const std::string& reason) override;

  private:
    TDevices& owner_;
    std::atomic<std::uint8_t> dstAddress_{kDefaultDstAddress};
    std::string name_;
    std::atomic<int> number_{0};
};

// The engine's logical devices, sorted by number; once loaded it holds 1 to 99 of them and one is current.
// Failures are EDriverError with the codes below; the list is left as it was.
class TDevices {
  public:
    // Called inside the list's critical section on a port's event thread. It must not change the list.
    using FrameHandler = std::function<void(TDevice& device, const TEcrFrame& frame)>;
    // Called inside the list's critical section on a port's event thread when the device's port went away
    // (the port is closed by then). It must not change the list.
    using PortGoneHandler = std::function<void(TDevice& device, const std::string& reason)>;
    // Makes the port of a new device; the default makes the port that logs to `log` and opens the serial
    // device or the network address its number is mapped to (TLinkComm).
    using PortFactory = std::function<std::unique_ptr<ICommPort>(TLogFile* log)>;

    static constexpr int kMaxDevices = 99;
    static constexpr const char* kDevicesKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Devices";

    // An empty list; Load fills it. `log` (may be null) must outlive the list.
    explicit TDevices(TLogFile* log, PortFactory portFactory = {});
    // Destroys every device, which closes its port, outside the critical section.
    ~TDevices();
    TDevices(const TDevices&) = delete;
    TDevices& operator=(const TDevices&) = delete;

    // Both are taken under the critical section, so a port thread sees either the old or the new one.
    void SetFrameHandler(FrameHandler handler);
    void SetBadEscapeHandler(FrameHandler handler);
    void SetPortGoneHandler(PortGoneHandler handler);

    int Count() const { return static_cast<int>(devices_.size()); }
    int CurrentIndex() const { return index_.load(); }
    // i outside 0..98: E_INVALIDVALUE; no device at i: E_LDNOTFOUND.
    void SelectByIndex(int index);
    // Number of the current device; E_LDNOTFOUND on an empty list.
    int CurrentNumber() const { return Current().DeviceNumber(); }
    // n outside 1..99: E_INVALIDVALUE; no device numbered n: E_LDNOTFOUND.
    void SelectByNumber(int number);
    std::string CurrentName() const { return Current().DeviceName(); }
    // As TDevice::SetDeviceName, on the current device.
    void SetCurrentName(const std::string& name);

    // Adds a device with the defaults and the smallest free positive number and makes it current. With 99
    // devices already: E_ADDDEVICE. A failure to make its port is thrown and leaves the list as it was.
    // Add, Delete and Load throw std::logic_error when called from inside a frame handler.
    void Add();
    // Destroys the current device (closing its port); the index stays, clamped to the last device. With
    // only one device: E_DELETEDEVICE.
    void Delete();

    // Replaces the list by the stored one, sorted by number, and selects the stored current device (else the
    // first). A device whose port fails to open, or whose values are refused (the values after the refused
    // one are not read), stays in the list closed, and the log gets "Инициализация логических устройств.",
    // the failed step, the message and the separator. A failure of the store itself (a damaged file, a
    // current number of the wrong type) or of making a port is thrown; the list is then still sorted and
    // holds at least one device. An empty store gives one default device numbered 1.
    void Load();
    // Replaces the stored list by this one ("DeviceEnabled" is each port's state now), in one write of the
    // settings store, none when the list is as stored. Failures are logged as "Ошибка при сохранении
    // логических устройств.", the message and the separator; never thrown.
    void Save() noexcept;

    // The current device; E_LDNOTFOUND on an empty list (before Load).
    TDevice& Current() { return At(index_.load()); }
    const TDevice& Current() const { return At(index_.load()); }
    // The device at `index` in number order; E_LDNOTFOUND outside the list.
    TDevice& Items(int index) { return At(index); }

  private:
    friend class TDevice;

    // Event thread: the device's frame or broken escape, handed on inside the critical section.
    void DeliverFrame(TDevice& device, const TEcrFrame& frame);
    void DeliverBadEscape(TDevice& device, const TEcrFrame& frame);
    void DeliverPortGone(TDevice& device, const std::string& reason);

    TDevice& At(int index) const;
    std::unique_ptr<TDevice> CreateDevice();
    // Appends under the critical section; returns the device.
    TDevice& Attach(std::unique_ptr<TDevice> device);
    // Stable by number, under the critical section.
    void SortByNumber();
    int IndexOf(const TDevice& device) const;
    int SmallestFreeNumber() const;
    // Detaches every device under the lock and destroys them outside it.
    void Clear() noexcept;
    // Steps of Load: the stored devices, then the stored current number.
    void LoadStored();
    void LoadDevice(const std::string& keyPath);
    // Refuses list changes from inside a frame handler, where destroying a port would destroy the running
    // thread's own device.
    void CheckNotInHandler() const;

    std::vector<std::unique_ptr<TDevice>> devices_;
    TLogFile* log_;
    std::atomic<int> index_{0};
    FrameHandler onFrame_;
    FrameHandler onBadEscape_;
    PortGoneHandler onPortGone_;
    mutable tessel::CriticalSection lock_;
    PortFactory portFactory_;
};
