// The property page inside the system's property frame, and the logical-device dialog it opens, driven by
// window messages against the registered driver and the emulator.
#include <gtest/gtest.h>

#include "DialogHarness.h"
#include "common/com/AddIn1C.h"
#include "common/platform/Win32Support.h"
#include "driver/win32ui/PageIds.h"

namespace dialogs {
namespace {

BOOL CALLBACK HoldsLinkTest(HWND child, LPARAM found) {
    if (::GetDlgItem(child, IDC_PAGE_CONNECT) == nullptr) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// The page's window: the frame's descendant that holds the link test button.
HWND FindPage(HWND frame) {
    HWND page = nullptr;
    ::EnumChildWindows(frame, HoldsLinkTest, reinterpret_cast<LPARAM>(&page));
    return page;
}

std::string ListEntry(HWND dialog, int row) {
    HWND list = Control(dialog, IDC_DEVICES_LIST);
    wchar_t text[256] = {};
    if (::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0) >= LRESULT{256}) return {};
    ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
    return tessel::win::Narrow(text);
}

LRESULT Count(HWND dialog, int id, UINT message) {
    return ::SendMessageW(Control(dialog, id), message, 0, 0);
}

class WinPageTest : public ::testing::Test {
  protected:
    // What a test changed is saved with the driver's settings: every test starts with one device, on the
    // emulator's port at its speed (the emulated line stays at 4800 baud whatever its registers are told).
    void SetUp() override {
        driver_ = NewDriver();
        LONG count = 0, code = 0;
        while (SUCCEEDED(driver_->get_LDCount(&count)) && count > 1)
            ASSERT_HRESULT_SUCCEEDED(driver_->DeleteLD(&code));
        driver_->put_PortNumber(kEmulatorPort);
        driver_->put_BaudRate(3);
    }
    void TearDown() override { SetUp(); }

    // Shows the frame; `onPage` gets the frame and the page, then the frame is closed as by its close box.
    void WithPage(const std::function<void(HWND frame, HWND page)>& onPage) {
        WithPage([&](TWindowWatcher&, HWND frame, HWND page) { onPage(frame, page); });
    }
    void WithPage(const std::function<void(TWindowWatcher&, HWND frame, HWND page)>& onPage) {
        RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver_->ShowProperties(&result_)); },
                  [&](TWindowWatcher& windows) {
                      HWND frame = windows.WaitFor("Драйвер ККМ");
                      ASSERT_NE(frame, nullptr);
                      HWND page = FindPage(frame);
                      ASSERT_NE(page, nullptr);
                      onPage(windows, frame, page);
                      Close(frame);
                  });
    }
    bool DeviceEnabled() {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        driver_->get_DeviceEnabled(&enabled);
        return enabled != VARIANT_FALSE;
    }

    tessel::ComPtr<ITesselDriver> driver_;
    LONG result_ = -1;
};

class WinPageDevicesTest : public WinPageTest, public ::testing::WithParamInterface<int> {};

TEST_P(WinPageDevicesTest, DeviceListIsEnabledFromTwoDevices) {
    LONG code = 0;
    for (int i = 1; i < GetParam(); ++i) ASSERT_HRESULT_SUCCEEDED(driver_->AddLD(&code));
    driver_->put_PortNumber(kEmulatorPort);  // a new device starts on COM1
    WithPage([&](HWND frame, HWND page) {
        EXPECT_EQ(Count(page, IDC_PAGE_DEVICE, CB_GETCOUNT), GetParam());
        EXPECT_EQ(Enabled(page, IDC_PAGE_DEVICE), GetParam() >= 2);
        EXPECT_TRUE(Enabled(page, IDC_PAGE_DEVICE_BUTTON));
        EXPECT_EQ(Text(page, IDC_PAGE_PORT), "COM 5");
        if (GetParam() == 2) Shot(frame, "win-page");
    });
    EXPECT_EQ(result_, 0);
}

INSTANTIATE_TEST_SUITE_P(Devices, WinPageDevicesTest, ::testing::Values(1, 2));

struct LinkCase {
    bool enabledBefore;
    int portIndex;  // 4: the emulator's COM5; 8: COM9, where nothing is
    const char* resultStart;
};

class WinPageLinkTest : public WinPageTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(WinPageLinkTest, LinkTestShowsTheRegisterOrTheErrorAndKeepsDeviceEnabled) {
    const LinkCase c = GetParam();
    driver_->put_DeviceEnabled(c.enabledBefore ? VARIANT_TRUE : VARIANT_FALSE);
    std::string result;
    WithPage([&](HWND, HWND page) {
        Choose(page, IDC_PAGE_PORT, c.portIndex);
        Click(page, IDC_PAGE_CONNECT);
        result = Text(page, IDC_PAGE_RESULT);
        EXPECT_EQ(::IsDlgButtonChecked(page, IDC_PAGE_DEVICE_ENABLED) == BST_CHECKED, c.enabledBefore);
        EXPECT_TRUE(Enabled(page, IDC_PAGE_CONNECT));
    });
    EXPECT_EQ(result.rfind(c.resultStart, 0), 0u) << result;
    EXPECT_EQ(DeviceEnabled(), c.enabledBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, WinPageLinkTest,
                         ::testing::Values(LinkCase{false, 4, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{true, 4, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{false, 8, "("}));

TEST_F(WinPageTest, SetBaudRateMovesTheRegisterAndTheDriver) {
    driver_->put_DeviceEnabled(VARIANT_FALSE);
    std::string result;
    WithPage([&](HWND, HWND page) {
        Choose(page, IDC_PAGE_BAUDRATE, 3);  // 9600
        Click(page, IDC_PAGE_SETBAUDRATE);
        result = Text(page, IDC_PAGE_RESULT);
    });
    EXPECT_EQ(result, "(0) Ошибок нет");
    LONG baud = 0;
    driver_->get_BaudRate(&baud);
    EXPECT_EQ(baud, 4);
    EXPECT_FALSE(DeviceEnabled());
}

// Add by the list's Ins key and by the button, delete, rename by typing within twenty characters; the page
// lists the devices anew once the dialog is closed.
TEST_F(WinPageTest, DevicesDialogAddsDeletesAndRenames) {
    LRESULT pageCount = 0;
    std::string name;
    WithPage([&](TWindowWatcher& windows, HWND, HWND page) {
        ClickLater(page, IDC_PAGE_DEVICE_BUTTON);
        HWND dialog = windows.WaitFor("Логические устройства");
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(Enabled(dialog, IDC_DEVICES_DELETE));
        ::SendMessageW(Control(dialog, IDC_DEVICES_LIST), WM_KEYDOWN, VK_INSERT, 0);
        Click(dialog, IDC_DEVICES_ADD);
        EXPECT_EQ(Count(dialog, IDC_DEVICES_LIST, LB_GETCOUNT), 3);
        EXPECT_EQ(Count(dialog, IDC_DEVICES_LIST, LB_GETCURSEL), 2);  // the new device is the current one
        EXPECT_TRUE(Enabled(dialog, IDC_DEVICES_DELETE));
        Click(dialog, IDC_DEVICES_DELETE);
        EXPECT_EQ(Count(dialog, IDC_DEVICES_LIST, LB_GETCOUNT), 2);

        Choose(dialog, IDC_DEVICES_LIST, 0);
        HWND edit = Control(dialog, IDC_DEVICES_NAME);
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        for (const wchar_t c : std::wstring(L"Касса у входа, левая сторона"))
            ::SendMessageW(edit, WM_CHAR, c, 0);
        EXPECT_EQ(ListEntry(dialog, 0), "№ 1 Касса у входа, левая");
        EXPECT_EQ(ListEntry(dialog, 1).rfind("№ 2 ", 0), 0u);
        // Esc in the name field: the name stays, the dialog stays open.
        ::SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(::IsWindowVisible(dialog));
        name = Text(dialog, IDC_DEVICES_NAME);
        Shot(dialog, "win-devices");
        Click(dialog, IDC_DEVICES_CLOSE);
        // The page lists the devices once the dialog's call has returned to it.
        WaitUntil([&] { return (pageCount = Count(page, IDC_PAGE_DEVICE, CB_GETCOUNT)) == 2; });
    });
    EXPECT_EQ(pageCount, 2);
    EXPECT_EQ(name, "Касса у входа, левая");
    LONG count = 0;
    driver_->get_LDCount(&count);
    EXPECT_EQ(count, 2);
}

class WinPageCentreTest : public WinPageTest, public ::testing::WithParamInterface<bool> {};

// A 1C:Enterprise host's frame is centred on the screen when the page is first shown; another host's stays
// where ShowProperties puts it.
TEST_P(WinPageCentreTest, FrameIsCentredForA1CHostOnly) {
    tessel::ComPtr<IInitDone> init;
    if (GetParam()) {
        ASSERT_HRESULT_SUCCEEDED(driver_->QueryInterface(IID_IInitDone, init.PutVoid()));
        ASSERT_HRESULT_SUCCEEDED(init->Init(nullptr));
    }
    RECT frame{}, work{};
    WithPage([&](HWND window, HWND) { ::GetWindowRect(window, &frame); });
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
    const POINT centred{work.left + (work.right - work.left - width) / 2,
                        work.top + (work.bottom - work.top - height) / 2};
    EXPECT_EQ(frame.left == centred.x && frame.top == centred.y, GetParam())
        << frame.left << "," << frame.top << " centred " << centred.x << "," << centred.y;
    if (init) init->Done();
}

INSTANTIATE_TEST_SUITE_P(Hosts, WinPageCentreTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OneC" : "Other"; });

}  // namespace
}  // namespace dialogs
