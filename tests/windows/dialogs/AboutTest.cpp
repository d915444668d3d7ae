#include <gtest/gtest.h>

#include "DialogHarness.h"
#include "common/platform/Win32Support.h"
#include "driver/win32ui/BaseIds.h"

namespace dialogs {

// The about box over the calling thread's active window: its lines, OK closes it, and the last operation's
// result stays, since AboutBox yields nothing.
TEST(WinAbout, ShowsTheVersionAndLeavesTheResult) {
    auto driver = NewDriver();
    BSTR raw = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->get_Version(&raw));
    const std::string version = tessel::win::Narrow(raw);
    ::SysFreeString(raw);
    LONG before = 0;
    driver->GetECRStatus(&before);
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->AboutBox()); },
              [&](TWindowWatcher& windows) {
                  HWND box = windows.WaitFor("О программе");
                  ASSERT_NE(box, nullptr);
                  EXPECT_EQ(Text(box, IDC_ABOUT_NAME), "Драйвер ККМ");
                  EXPECT_EQ(Text(box, IDC_ABOUT_VERSION), "Версия драйвера: " + version);
                  Shot(box, "win-about");
                  Click(box, IDOK);
              });
    LONG after = -1;
    driver->get_ResultCode(&after);
    EXPECT_EQ(after, before);
}

}  // namespace dialogs
