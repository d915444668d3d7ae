// The search windows under Wine: the parameters chosen in their window and saved, a search over the
// emulator's port that finds it and makes it the driver's connection, and a search interrupted. The script
// reads the windows as the search thread changes them, which it does only through posted messages.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DialogHarness.h"
#include "common/platform/Win32Support.h"
#include "driver/win32ui/SearchIds.h"

namespace dialogs {
namespace {

constexpr const char* kFinished = "Поиск завершен. Найдено ККМ: ";

int Rows(HWND dialog) {
    return static_cast<int>(SendMessageW(Control(dialog, IDC_SEARCH_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::string Cell(HWND dialog, int row, int column) {
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(Control(dialog, IDC_SEARCH_LIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return tessel::win::Narrow(text);
}

// Checks item `index` of a check list of the parameters window, as a click on its box does.
void Check(HWND params, int list, int index) {
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageW(Control(params, list), LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
}

DWORD Saved(const wchar_t* list, const wchar_t* item) {
    const std::wstring key = std::wstring(L"Software\\Korvex\\TesselDrv\\TesselDrv\\") +
                             tessel::win::Widen("Параметры поиска") + L"\\" + list;
    DWORD value = 99, size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, key.c_str(), item, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// "PortNumber BaudRate DstAddress" of the driver.
std::string Connection(ITesselDriver& driver) {
    LONG port = 0, speed = 0, address = 0;
    driver.get_PortNumber(&port);
    driver.get_BaudRate(&speed);
    driver.get_DstAddress(&address);
    return std::to_string(port) + " " + std::to_string(speed) + " " + std::to_string(address);
}

// Opens the parameters window from the search window and lets `change` set it; then OK.
void EditParams(TWindowWatcher& windows, HWND search, const std::function<void(HWND)>& change,
                const char* shot = nullptr) {
    ClickLater(search, IDC_SEARCH_SETUP);
    HWND params = windows.WaitFor("Свойства поиска");
    ASSERT_NE(params, nullptr);
    // A modal window shows itself once its thread has nothing more to do.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(params) != FALSE; }));
    change(params);
    if (shot != nullptr) Shot(params, shot);
    Click(params, IDOK);
}

// Only COM5 at 4800 (the emulator's speed) for ordinary registers, chosen in the parameters window and saved;
// the search finds the emulator there, and OK makes it the driver's connection (port, speed and address).
TEST(WinSearch, ParamsSavedSearchFindsTheEmulatorAndOkSetsTheConnection) {
    auto driver = NewDriver();
    driver->put_BaudRate(1);
    driver->put_DstAddress(9);
    LONG result = -1;
    std::vector<std::string> row;
    RunDialog(
        [&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowSearchDlg(&result)); },
        [&](TWindowWatcher& windows) {
            HWND search = windows.WaitFor("Поиск ККМ");
            ASSERT_NE(search, nullptr);
            EditParams(
                windows, search,
                [](HWND params) {
                    Click(params, IDC_PARAMS_PORTS_NONE);
                    Check(params, IDC_PARAMS_PORTS, kEmulatorPort - 1);
                    Click(params, IDC_PARAMS_BAUDRATES_NONE);
                    Check(params, IDC_PARAMS_BAUDRATES, 2);
                },
                "win-search-params");
            Click(search, IDC_SEARCH_START);
            ASSERT_TRUE(WaitUntil([&] { return Text(search, IDC_SEARCH_INFO).starts_with(kFinished); }));
            EXPECT_EQ(Text(search, IDC_SEARCH_INFO), std::string(kFinished) + "1");
            EXPECT_EQ(Text(search, IDC_SEARCH_START), "Начать");
            EXPECT_TRUE(Enabled(search, IDC_SEARCH_SETUP));
            for (int c = 0; c < 5; ++c) row.push_back(Cell(search, 0, c));
            Shot(search, "win-search");
            Click(search, IDOK);
        });
    EXPECT_EQ(Saved(L"Порты", L"COM5"), 1u);
    EXPECT_EQ(Saved(L"Порты", L"COM1"), 0u);
    EXPECT_EQ(Saved(L"Скорости", L"4800"), 1u);
    EXPECT_EQ(Saved(L"Скорости", L"1200"), 0u);
    ASSERT_EQ(row.size(), 5u);
    EXPECT_EQ(row[0], "COM5");
    EXPECT_EQ(row[1], "4800");
    EXPECT_EQ(row[2], "2");
    EXPECT_EQ(row[3], "обычная");
    EXPECT_FALSE(row[4].empty());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Connection(*driver.Get()), "5 3 2");
}

// The default lists (every port and speed), saved; "Прервать" ends the search at once, the window reports
// the rows it has; closed during a second search, the window ends it at once and leaves the driver's
// connection as it was.
TEST(WinSearch, InterruptEndsTheSearchAndReportsTheRowsSoFar) {
    auto driver = NewDriver();
    driver->put_BaudRate(1);
    driver->put_DstAddress(9);
    LONG result = -1;
    std::chrono::steady_clock::time_point closing{};
    RunDialog(
        [&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowSearchDlg(&result)); },
        [&](TWindowWatcher& windows) {
            HWND search = windows.WaitFor("Поиск ККМ");
            ASSERT_NE(search, nullptr);
            EditParams(windows, search, [](HWND params) { Click(params, IDC_PARAMS_DEFAULTS); });
            Click(search, IDC_SEARCH_START);
            ASSERT_TRUE(WaitUntil([&] { return !Text(search, IDC_SEARCH_PORT).empty(); }));
            EXPECT_EQ(Text(search, IDC_SEARCH_START), "Прервать");
            EXPECT_FALSE(Enabled(search, IDC_SEARCH_SETUP));
            const auto before = std::chrono::steady_clock::now();
            Click(search, IDC_SEARCH_START);
            ASSERT_TRUE(WaitUntil([&] { return Text(search, IDC_SEARCH_INFO).starts_with(kFinished); }));
            EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
            EXPECT_EQ(Text(search, IDC_SEARCH_INFO), kFinished + std::to_string(Rows(search)));
            EXPECT_EQ(Text(search, IDC_SEARCH_START), "Начать");
            EXPECT_FALSE(IsWindowVisible(Control(search, IDC_SEARCH_PROGRESS)));
            // A second search, ended by the close box.
            Click(search, IDC_SEARCH_START);
            ASSERT_TRUE(WaitUntil([&] { return Text(search, IDC_SEARCH_START) == "Прервать"; }));
            closing = std::chrono::steady_clock::now();
            Close(search);
        });
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(5));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Connection(*driver.Get()), "5 1 9");
    EXPECT_EQ(Saved(L"Порты", L"COM32"), 1u);
    EXPECT_EQ(Saved(L"Скорости", L"1200"), 1u);
}

}  // namespace
}  // namespace dialogs
