// The tables dialogs against the emulated register: the list read from it, a cell written through the
// in-place editor and one the register refuses, an export file saved and loaded back, and a picture of each
// window. What the tests change in the register is put back, since later tests share it.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "DialogHarness.h"
#include "common/platform/CodePage.h"
#include "common/platform/Win32Support.h"
#include "driver/win32ui/TablesIds.h"

namespace dialogs {
namespace {

constexpr int kMessageText = 0xFFFF;   // the text of a message box
constexpr int kFileNameCombo = 0x47C;  // cmb13 of the file dialogs
constexpr int kFileNameEdit = 0x480;   // edt1

int ItemCount(HWND list) {
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ItemText(HWND list, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return tessel::win::Narrow(text);
}

void SelectRow(HWND list, int row) {
    LVITEMW item{};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void CheckRow(HWND list, int row, bool checked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void Key(HWND window, WPARAM key) {
    ::SendMessageW(window, WM_KEYDOWN, key, 0);
}

// Waits until `dialog` and its button `id` take clicks again: no modal window over it, no action running.
void WaitIdle(HWND dialog, int id) {
    for (int i = 0; i < 3000 && !(::IsWindowEnabled(dialog) && Enabled(dialog, id)); ++i) ::Sleep(10);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
}

// Types `text` into the current cell of an editor's grid as a user does (the first character opens the
// in-place editor) and presses Enter; returns once the commit has run.
void TypeIntoCell(HWND grid, const std::string& text) {
    HWND cells = Control(grid, IDC_EDIT_GRID);
    const std::wstring wide = tessel::win::Widen(text);
    ::SendMessageW(cells, WM_CHAR, wide[0], 0);
    HWND edit = Control(cells, IDC_EDIT_CELL);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    Key(edit, VK_RETURN);
    // The commit runs once the editor is gone.
    for (int i = 0; i < 500 && ::IsWindow(edit); ++i) ::Sleep(10);
    WaitIdle(grid, IDC_EDIT_CLOSE);
}

// Picks `path` in a file dialog.
void PickFile(HWND files, const std::string& path) {
    const int id = ::GetDlgItem(files, kFileNameCombo) != nullptr ? kFileNameCombo : kFileNameEdit;
    SetText(files, id, path);
    ClickLater(files, IDOK);
}

std::string TempFile(const char* name) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return tessel::win::Narrow(folder) + name;
}

// One cell of the register, read or written through the driver.
std::string ReadCell(ITesselDriver* driver, LONG table, LONG row, LONG field) {
    LONG result = 0;
    driver->put_TableNumber(table);
    driver->put_RowNumber(row);
    driver->put_FieldNumber(field);
    driver->ReadTable(&result);
    BSTR value = nullptr;
    driver->get_FieldValue(&value);
    const std::string text = tessel::win::Narrow(value != nullptr ? value : L"");
    ::SysFreeString(value);
    return result == 0 ? text : "error " + std::to_string(result);
}

void WriteCell(ITesselDriver* driver, LONG table, LONG row, LONG field, const std::string& text) {
    LONG result = 0;
    driver->put_TableNumber(table);
    driver->put_RowNumber(row);
    driver->put_FieldNumber(field);
    BSTR value = ::SysAllocString(tessel::win::Widen(text).c_str());
    driver->put_FieldValue(value);
    ::SysFreeString(value);
    driver->put_FieldType(ftStr);
    driver->WriteTable(&result);
    EXPECT_EQ(result, 0) << text;
}

// Changes the row count that the structure cache of every device holds for table `table`.
void SetCachedRows(int table, DWORD rows) {
    HKEY defs = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Korvex\\TesselDrv\\TesselDrv\\TableDefs", 0,
                              KEY_READ, &defs),
              ERROR_SUCCESS);
    wchar_t device[256];
    for (DWORD i = 0; DWORD length = 256; ++i) {
        if (::RegEnumKeyExW(defs, i, device, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring path = std::wstring(device) + L"\\" + std::to_wstring(table);
        ::RegSetKeyValueW(defs, path.c_str(), L"RowCount", REG_DWORD, &rows, sizeof(rows));
    }
    ::RegCloseKey(defs);
}

void ShowTables(ITesselDriver* driver) {
    LONG result = -1;
    EXPECT_HRESULT_SUCCEEDED(driver->ShowTablesDlg(&result));
    EXPECT_EQ(result, 0);
}

// The list as the register gives it; a name written through the grid's in-place editor; a text the register
// refuses shown as its error with the register's value back in the cell.
TEST(WinTables, ListFromTheRegisterAndCellsWrittenOrRefused) {
    auto driver = NewDriver();
    std::vector<std::string> first;
    std::string refusal, kept, written, escaped;
    int rows = 0;
    RunDialog([&] { ShowTables(driver.Get()); },
              [&](TWindowWatcher& windows) {
                  HWND tables = windows.WaitFor("Таблицы", 30000);
                  ASSERT_NE(tables, nullptr);
                  HWND list = Control(tables, IDC_TABLES_LIST);
                  rows = ItemCount(list);
                  for (int c = 0; c < 4; ++c) first.push_back(ItemText(list, 0, c));
                  Shot(tables, "win-tables");

                  SelectRow(list, 1);
                  ClickLater(tables, IDC_TABLES_OPEN);
                  HWND grid = windows.WaitFor("Кассиры и администраторы");
                  ASSERT_NE(grid, nullptr);
                  HWND cells = Control(grid, IDC_EDIT_GRID);
                  Click(grid, IDC_EDIT_READROW);
                  Key(cells, VK_RIGHT);  // the name of row 1
                  TypeIntoCell(grid, "Петров");
                  written = ItemText(cells, 0, 2);
                  Shot(grid, "win-table-grid");
                  // Esc takes a typed text back: nothing is written.
                  Key(cells, VK_F2);
                  HWND typing = Control(cells, IDC_EDIT_CELL);
                  ::SendMessageW(typing, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Сидоров"));
                  Key(typing, VK_ESCAPE);
                  for (int i = 0; i < 500 && ::IsWindow(typing); ++i) ::Sleep(10);
                  WaitIdle(grid, IDC_EDIT_CLOSE);
                  escaped = ItemText(cells, 0, 2);
                  Click(grid, IDC_EDIT_CLOSE);

                  SelectRow(list, 2);
                  ClickLater(tables, IDC_TABLES_OPEN);
                  HWND sections = windows.WaitFor("Секции");
                  ASSERT_NE(sections, nullptr);
                  Click(sections, IDC_EDIT_READROW);
                  HWND sectionCells = Control(sections, IDC_EDIT_GRID);
                  ::PostMessageW(sectionCells, WM_CHAR, L'Х', 0);
                  HWND edit = nullptr;
                  for (int i = 0; i < 500 && edit == nullptr; ++i, ::Sleep(10))
                      edit = ::GetDlgItem(sectionCells, IDC_EDIT_CELL);
                  ASSERT_NE(edit, nullptr);
                  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Хлебобулочные изделия"));
                  ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
                  HWND box = windows.WaitFor("Драйвер ККМ");
                  ASSERT_NE(box, nullptr);
                  refusal = Text(box, kMessageText);
                  Click(box, IDOK);
                  WaitIdle(sections, IDC_EDIT_CLOSE);
                  kept = ItemText(sectionCells, 0, 1);
                  Click(sections, IDC_EDIT_CLOSE);
                  Click(tables, IDC_TABLES_CLOSE);
              });
    EXPECT_EQ(rows, 6);
    EXPECT_EQ(first, (std::vector<std::string>{"1", "Общие параметры", "1", "6"}));
    EXPECT_EQ(written, "Петров");
    EXPECT_EQ(escaped, "Петров");
    EXPECT_EQ(ReadCell(driver.Get(), 2, 1, 2), "Петров");
    EXPECT_NE(refusal.find("Неверное значение"), std::string::npos) << refusal;
    EXPECT_EQ(kept, "Секция 1");
    EXPECT_EQ(ReadCell(driver.Get(), 3, 1, 1), "Секция 1");
    WriteCell(driver.Get(), 2, 1, 2, "Кассир 1");
}

// "Секции" saved alone to an export file, spoilt in the register, and loaded back: the load says how many
// values it wrote and the register has its values again.
TEST(WinTables, SaveAndLoadBringTheTableBack) {
    auto driver = NewDriver();
    const std::string path = TempFile("tessel-sections.xch");
    std::remove(path.c_str());
    RunDialog([&] { ShowTables(driver.Get()); },
              [&](TWindowWatcher& windows) {
                  HWND tables = windows.WaitFor("Таблицы", 30000);
                  ASSERT_NE(tables, nullptr);
                  ClickLater(tables, IDC_TABLES_SAVE);
                  HWND choice = windows.WaitFor("Выбор таблиц");
                  ASSERT_NE(choice, nullptr);
                  Click(choice, IDC_CHOICE_CLEARALL);
                  CheckRow(Control(choice, IDC_CHOICE_LIST), 2, true);
                  Shot(choice, "win-table-choice");
                  Click(choice, IDOK);
                  HWND files = windows.WaitFor("Сохранить таблицы");
                  ASSERT_NE(files, nullptr);
                  PickFile(files, path);
                  // The file is written once the tables were read.
                  for (int i = 0; i < 3000 && ::GetFileAttributesW(tessel::win::Widen(path).c_str()) ==
                                                  INVALID_FILE_ATTRIBUTES;
                       ++i)
                      ::Sleep(10);
                  WaitIdle(tables, IDC_TABLES_CLOSE);
                  Click(tables, IDC_TABLES_CLOSE);
              });
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    const std::string text = tessel::Cp1251ToUtf8(bytes.str());
    EXPECT_NE(text.find("[Секции]\r\n0001.01=Секция 1\r\n"), std::string::npos) << text;

    WriteCell(driver.Get(), 3, 1, 1, "Мусор");
    std::string report;
    int checked = -1;
    RunDialog([&] { ShowTables(driver.Get()); },
              [&](TWindowWatcher& windows) {
                  HWND tables = windows.WaitFor("Таблицы", 30000);
                  ASSERT_NE(tables, nullptr);
                  ClickLater(tables, IDC_TABLES_LOAD);
                  HWND files = windows.WaitFor("Загрузить таблицы");
                  ASSERT_NE(files, nullptr);
                  PickFile(files, path);
                  HWND choice = windows.WaitFor("Выбор таблиц");
                  ASSERT_NE(choice, nullptr);
                  HWND list = Control(choice, IDC_CHOICE_LIST);
                  checked = 0;
                  for (int i = 0; i < ItemCount(list); ++i)
                      checked += ((::SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) >> 12) == 2)
                                     ? 1
                                     : 0;
                  Click(choice, IDOK);
                  HWND box = windows.WaitFor("Драйвер ККМ", 30000);
                  ASSERT_NE(box, nullptr);
                  report = Text(box, kMessageText);
                  Click(box, IDOK);
                  Click(tables, IDC_TABLES_CLOSE);
              });
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(report, "Записано значений полей: 16.");
    EXPECT_EQ(ReadCell(driver.Get(), 3, 1, 1), "Секция 1");
    std::remove(path.c_str());
}

// The one-row editor shows a line per field; a read whose cell fails asks whether to go on, and No ends it.
TEST(WinTables, OneRowEditorAndAFailedRead) {
    auto driver = NewDriver();
    int lines = 0;
    std::string type, failed, read;
    bool ended = false;
    // The cached structure claims a row the register does not have.
    RunDialog([&] { ShowTables(driver.Get()); },
              [](TWindowWatcher& windows) {
                  HWND tables = windows.WaitFor("Таблицы", 30000);
                  ASSERT_NE(tables, nullptr);
                  Click(tables, IDC_TABLES_CLOSE);
              });
    SetCachedRows(3, 17);
    RunDialog([&] { ShowTables(driver.Get()); },
              [&](TWindowWatcher& windows) {
                  HWND tables = windows.WaitFor("Таблицы", 30000);
                  ASSERT_NE(tables, nullptr);
                  SelectRow(Control(tables, IDC_TABLES_LIST), 0);
                  ClickLater(tables, IDC_TABLES_OPEN);
                  HWND editor = windows.WaitFor("Общие параметры");
                  ASSERT_NE(editor, nullptr);
                  HWND cells = Control(editor, IDC_EDIT_GRID);
                  lines = ItemCount(cells);
                  type = ItemText(cells, 1, 3);
                  Click(editor, IDC_EDIT_READALL);
                  Shot(editor, "win-table-lines");
                  Click(editor, IDC_EDIT_CLOSE);

                  // A read that fails at its last cell holds the progress window with the error question;
                  // No ends the read.
                  SelectRow(Control(tables, IDC_TABLES_LIST), 2);
                  ClickLater(tables, IDC_TABLES_OPEN);
                  HWND grid = windows.WaitFor("Секции");
                  ASSERT_NE(grid, nullptr);
                  ClickLater(grid, IDC_EDIT_READALL);
                  HWND progress = windows.WaitFor("Чтение данных таблицы...");
                  ASSERT_NE(progress, nullptr);
                  HWND question = windows.WaitFor("Драйвер ККМ", 30000);
                  ASSERT_NE(question, nullptr);
                  failed = Text(question, kMessageText);
                  // The question beside the window, for the window's picture.
                  RECT window{};
                  ::GetWindowRect(progress, &window);
                  ::SetWindowPos(question, nullptr, window.left, window.bottom + 8, 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                  Shot(progress, "win-progress");
                  Shot(question, "win-progress-question");
                  Click(question, IDNO);
                  WaitIdle(grid, IDC_EDIT_CLOSE);
                  ended = !::IsWindow(progress);
                  read = ItemText(Control(grid, IDC_EDIT_GRID), 15, 1);
                  Click(grid, IDC_EDIT_CLOSE);
                  WaitIdle(tables, IDC_TABLES_CLOSE);
                  Click(tables, IDC_TABLES_CLOSE);
              });
    EXPECT_EQ(lines, 6);
    EXPECT_EQ(type, "число");
    SetCachedRows(3, 16);
    EXPECT_EQ(failed.rfind("Ошибка: (", 0), 0u) << failed;
    EXPECT_NE(failed.find("\nПродолжить выполнение ?"), std::string::npos) << failed;
    EXPECT_TRUE(ended);
    EXPECT_EQ(read, "Секция 16");
}

}  // namespace
}  // namespace dialogs
