// The status, service and log windows under Wine: lines from the emulator, the status window's least size,
// the time-out put back after a failing table initialisation, "Из ПК" that sends nothing, and the log
// window's OK and Cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DialogHarness.h"
#include "common/platform/Win32Support.h"
#include "driver/win32ui/ServiceIds.h"

namespace dialogs {
namespace {

std::string GetText(ITesselDriver* driver, HRESULT (STDMETHODCALLTYPE ITesselDriver::*get)(BSTR*)) {
    BSTR raw = nullptr;
    EXPECT_HRESULT_SUCCEEDED((driver->*get)(&raw));
    const std::string text = raw != nullptr ? tessel::win::Narrow(raw) : std::string();
    ::SysFreeString(raw);
    return text;
}

void PutText(ITesselDriver* driver, HRESULT (STDMETHODCALLTYPE ITesselDriver::*put)(BSTR),
             const std::string& text) {
    BSTR raw = ::SysAllocString(tessel::win::Widen(text).c_str());
    EXPECT_HRESULT_SUCCEEDED((driver->*put)(raw));
    ::SysFreeString(raw);
}

LONG GetLong(ITesselDriver* driver, HRESULT (STDMETHODCALLTYPE ITesselDriver::*get)(LONG*)) {
    LONG value = 0;
    EXPECT_HRESULT_SUCCEEDED((driver->*get)(&value));
    return value;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Where " : " starts, in characters.
std::ptrdiff_t ColonColumn(const std::string& line) {
    return static_cast<std::ptrdiff_t>(tessel::win::Widen(line.substr(0, line.find(" : "))).size());
}

SIZE WindowSize(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// A folder of the test's own in the temporary folder.
std::filesystem::path NewFolder(const char* name) {
    const auto folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

struct StatusCase {
    int button;
    const char* first;  // the first line's label part, before the value the driver reads
    HRESULT (STDMETHODCALLTYPE ITesselDriver::*method)(LONG*);
    const char* shot;
};

class WinStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(WinStatus, LinesFromTheRegisterLineUpAndTheWindowKeepsItsLeastSize) {
    auto driver = NewDriver();
    LONG code = -1;
    std::vector<std::string> lines;
    SIZE opened{}, shrunk{}, grown{};
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowStatusDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  HWND dialog = windows.WaitFor("Состояние ККМ и ФП");
                  ASSERT_NE(dialog, nullptr);
                  Click(dialog, GetParam().button);
                  lines = Lines(Text(dialog, IDC_STATUS_MEMO));
                  Shot(dialog, GetParam().shot);
                  opened = WindowSize(dialog);
                  ::SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
                  shrunk = WindowSize(dialog);
                  ::SetWindowPos(dialog, nullptr, 0, 0, opened.cx + 80, opened.cy + 60,
                                 SWP_NOMOVE | SWP_NOZORDER);
                  grown = WindowSize(dialog);
                  Click(dialog, IDOK);
              });
    ASSERT_EQ(lines.size(), 11u);
    for (const std::string& line : lines) EXPECT_EQ(ColonColumn(line), ColonColumn(lines[0])) << line;
    // The same request again outside the window gives what the first line showed.
    LONG result = -1;
    ASSERT_HRESULT_SUCCEEDED((driver.Get()->*GetParam().method)(&result));
    ASSERT_EQ(result, 0);
    const std::string value = GetParam().button == IDC_STATUS_ECR
                                  ? std::to_string(GetLong(driver.Get(), &ITesselDriver::get_OperatorNumber))
                                  : GetText(driver.Get(), &ITesselDriver::get_FMSoftVersion);
    EXPECT_EQ(lines[0], std::string(GetParam().first) + " : " + value);
    EXPECT_EQ(shrunk.cx, opened.cx);
    EXPECT_EQ(shrunk.cy, opened.cy);
    EXPECT_EQ(grown.cx, opened.cx + 80);
}

INSTANTIATE_TEST_SUITE_P(Buttons, WinStatus,
                         ::testing::Values(StatusCase{IDC_STATUS_ECR, "Номер оператора",
                                                      &ITesselDriver::GetECRStatus, "win-status"},
                                           StatusCase{IDC_STATUS_FM, "Версия ПО ФП              ",
                                                      &ITesselDriver::GetFMStatus, "win-status-fm"}));

// A register that does not answer: the box shows the failure, and the driver's time-out is what it was.
TEST(WinService, FailingTableInitialisationPutsTheTimeoutBack) {
    auto driver = NewDriver();
    LONG code = -1;
    ASSERT_HRESULT_SUCCEEDED(driver->put_PortNumber(9));
    ASSERT_HRESULT_SUCCEEDED(driver->put_Timeout(700));
    std::string error;
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowServiceDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  HWND dialog = windows.WaitFor("Управление ККМ");
                  ASSERT_NE(dialog, nullptr);
                  ClickLater(dialog, IDC_SERVICE_INITTABLES);
                  HWND box = windows.WaitFor("Драйвер ККМ");
                  ASSERT_NE(box, nullptr);
                  error = Text(box, 0xFFFF);
                  Click(box, IDOK);
                  Click(dialog, IDOK);
              });
    EXPECT_EQ(GetLong(driver.Get(), &ITesselDriver::get_Timeout), 700);
    EXPECT_FALSE(error.empty());
}

// Every frame the driver exchanges goes to its log: "Из ККМ" adds to it, "Из ПК" does not.
TEST(WinService, FromPcSendsNothing) {
    auto driver = NewDriver();
    LONG code = -1;
    const auto folder = NewFolder("tessel-service-test");
    const std::filesystem::path log = folder / "exchange.log";
    PutText(driver.Get(), &ITesselDriver::put_LogFileName, tessel::win::Narrow(log.wstring()));
    ASSERT_HRESULT_SUCCEEDED(driver->put_LogEnabled(VARIANT_TRUE));
    std::uintmax_t before = 0, fromEcr = 0, fromPc = 0;
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowServiceDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  HWND dialog = windows.WaitFor("Управление ККМ");
                  ASSERT_NE(dialog, nullptr);
                  before = std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;
                  Click(dialog, IDC_SERVICE_FROMECR);
                  fromEcr = std::filesystem::file_size(log);
                  Shot(dialog, "win-service");
                  Click(dialog, IDC_SERVICE_FROMPC);
                  fromPc = std::filesystem::file_size(log);
                  Click(dialog, IDOK);
              });
    ASSERT_HRESULT_SUCCEEDED(driver->put_LogEnabled(VARIANT_FALSE));
    EXPECT_GT(fromEcr, before);
    EXPECT_EQ(fromPc, fromEcr);
}

// ParentWnd carries the service window's handle to the status window as its owner.
TEST(WinService, StatusWindowIsOwnedByTheServiceWindow) {
    auto driver = NewDriver();
    LONG code = -1;
    HWND service = nullptr, owner = nullptr;
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowServiceDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  service = windows.WaitFor("Управление ККМ");
                  ASSERT_NE(service, nullptr);
                  ClickLater(service, IDC_SERVICE_GETSTATUS);
                  HWND status = windows.WaitFor("Состояние ККМ и ФП");
                  ASSERT_NE(status, nullptr);
                  owner = ::GetWindow(status, GW_OWNER);
                  Click(status, IDOK);
                  Click(service, IDOK);
              });
    EXPECT_EQ(owner, service);
    EXPECT_EQ(GetLong(driver.Get(), &ITesselDriver::get_ParentWnd), 0);
}

class WinLog : public ::testing::TestWithParam<int> {};

TEST_P(WinLog, OkWritesBothValuesAndCancelNothing) {
    const bool ok = GetParam() == IDOK;
    auto driver = NewDriver();
    LONG code = -1;
    const auto folder = NewFolder("tessel-log-test");
    const std::string before = tessel::win::Narrow((folder / "before.log").wstring());
    const std::string chosen = tessel::win::Narrow((folder / "chosen.log").wstring());
    PutText(driver.Get(), &ITesselDriver::put_LogFileName, before);
    ASSERT_HRESULT_SUCCEEDED(driver->put_LogEnabled(VARIANT_FALSE));
    std::string shown;
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowLogDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  HWND dialog = windows.WaitFor("Параметры лога");
                  ASSERT_NE(dialog, nullptr);
                  shown = Text(dialog, IDC_LOG_FILENAME);
                  Click(dialog, IDC_LOG_ENABLED);
                  SetText(dialog, IDC_LOG_FILENAME, chosen);
                  if (ok) Shot(dialog, "win-log");
                  Click(dialog, GetParam());
              });
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_HRESULT_SUCCEEDED(driver->get_LogEnabled(&enabled));
    ASSERT_HRESULT_SUCCEEDED(driver->put_LogEnabled(VARIANT_FALSE));
    EXPECT_EQ(shown, before);
    EXPECT_EQ(enabled != VARIANT_FALSE, ok);
    EXPECT_EQ(GetText(driver.Get(), &ITesselDriver::get_LogFileName), ok ? chosen : before);
}

INSTANTIATE_TEST_SUITE_P(Close, WinLog, ::testing::Values(IDOK, IDCANCEL));

// "...": the system's file dialog offers the two filters, and the name chosen there replaces the field's.
TEST(WinLogFile, ChosenNameReplacesTheField) {
    auto driver = NewDriver();
    LONG code = -1;
    const auto folder = NewFolder("tessel-log-file-test");
    const std::string chosen = tessel::win::Narrow((folder / "picked.log").wstring());
    PutText(driver.Get(), &ITesselDriver::put_LogFileName,
            tessel::win::Narrow((folder / "before.log").wstring()));
    std::vector<std::string> filters;
    std::string field;
    RunDialog([&] { EXPECT_HRESULT_SUCCEEDED(driver->ShowLogDlg(&code)); },
              [&](TWindowWatcher& windows) {
                  HWND dialog = windows.WaitFor("Параметры лога");
                  ASSERT_NE(dialog, nullptr);
                  ClickLater(dialog, IDC_LOG_BROWSE);
                  HWND files = windows.WaitFor("");
                  ASSERT_NE(files, nullptr);
                  // The file dialog's filter list (cmb1) and file name field (cmb13).
                  HWND types = Control(files, 0x470);
                  const auto count = ::SendMessageW(types, CB_GETCOUNT, 0, 0);
                  for (LRESULT i = 0; i < count; ++i) {
                      wchar_t text[256] = {};
                      ::SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                     reinterpret_cast<LPARAM>(text));
                      filters.push_back(tessel::win::Narrow(text));
                  }
                  SetText(files, 0x47C, chosen);
                  Click(files, IDOK);
                  // The name reaches the field once the file dialog's call has returned on the window's
                  // thread.
                  WaitUntil([&] { return (field = Text(dialog, IDC_LOG_FILENAME)) == chosen; });
                  Click(dialog, IDCANCEL);
              });
    EXPECT_EQ(filters, (std::vector<std::string>{"Лог-файлы (*.log)", "Все файлы (*.*)"}));
    EXPECT_EQ(field, chosen);
}

}  // namespace
}  // namespace dialogs
