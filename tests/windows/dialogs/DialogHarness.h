#pragma once
// What the Windows dialog tests share. A test calls a dialog member of the registered driver on its own
// (main) thread, whose modal loop then runs the window, while a script on a second thread finds the window
// as it is activated and drives it with window messages, as a person would: clicks, typed text, choices.
// A script that fails closes what it opened, so the member returns and the test ends.

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/com/ComPtr.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace dialogs {

// The COM port and the address of the register emulator that the harness (tests/windows/wine-dialogs) puts
// behind Wine.
inline constexpr LONG kEmulatorPort = 5;
inline constexpr LONG kEmulatorAddress = 2;

// A new object of the registered driver, set to the emulator's port and address (saved with the driver's
// settings, so what one test moved is not left to the next). Throws when it cannot be made.
tessel::ComPtr<ITesselDriver> NewDriver();

// The windows activated on the thread that made it (a CBT hook), for a script on another thread to wait for.
class TWindowWatcher {
  public:
    TWindowWatcher();
    ~TWindowWatcher();
    TWindowWatcher(const TWindowWatcher&) = delete;
    TWindowWatcher& operator=(const TWindowWatcher&) = delete;

    // The first window activated since the last Take whose caption contains `caption` (UTF-8), waited for
    // up to `ms`; null when none came.
    HWND WaitFor(const std::string& caption, DWORD ms = 10000);
    // Every window activated so far that still exists.
    std::vector<HWND> Windows();

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_ = nullptr;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<HWND> activated_;
    size_t taken_ = 0;
};

// Runs `member` (a dialog member of the driver) on this thread while `script` drives the window on another.
// When the script throws or fails an assertion, every window it saw is closed so that the member returns.
void RunDialog(const std::function<void()>& member, const std::function<void(TWindowWatcher&)>& script);

// Driving a window from the script's thread. Click sends BM_CLICK and returns when the button's action has
// ended; ClickLater posts it, for a button whose action opens a modal window of its own.
HWND Control(HWND dialog, int id);
void Click(HWND dialog, int id);
void ClickLater(HWND dialog, int id);
void SetText(HWND dialog, int id, const std::string& utf8);
std::string Text(HWND window);
std::string Text(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
// Chooses item `index` of a combo box or list box and tells the dialog, as a user's choice does.
void Choose(HWND dialog, int id, int index);
// Waits up to `ms` for `done`, looking again every 20 ms: the windows change on their own thread, and a
// click returns when the button's own action ends, before what its dialog's caller does after it.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = 20000);
// Closes the window as its close box does.
void Close(HWND window);

// Saves what the screen shows of `window` to TESSEL_SCREENSHOTS\<name>.png, when the harness asks for
// pictures.
void Shot(HWND window, const std::string& name);

}  // namespace dialogs
