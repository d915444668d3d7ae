#include "driver/win32ui/WinTables.h"

#include <commdlg.h>

#include <algorithm>

#include "driver/win32ui/TablesIds.h"

namespace {

// Messages of the windows to themselves.
constexpr UINT kRowsAddedMessage = WM_APP + 31;
constexpr UINT kPostedMessage = WM_APP + 33;

void AddColumn(HWND list, int index, const std::string& title, int width, bool right = false) {
    std::wstring text = Wide(title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

int AddItem(HWND list, int index, const std::string& text) {
    std::wstring wide = Wide(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = wide.data();
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void SetItemText(HWND list, int index, int column, const std::string& text) {
    std::wstring wide = Wide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void SelectItem(HWND list, int index) {
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    if (index < 0) return;
    LVITEMW set{};
    set.state = set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&set));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

// The host program's folder, where the file dialogs start.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

// ---- TWinProgress ----

TWinProgress::TWinProgress(std::function<HWND()> owner)
    : TWinForm(IDD_PROGRESS),
      TProgressForm(static_cast<IProgressView&>(*this)),
      owner_(std::move(owner)),
      thread_(GetCurrentThreadId()) {
    static const ATOM postClass = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PostProcedure;
        wc.hInstance = ModuleInstance();
        wc.lpszClassName = L"TesselProgressPost";
        return RegisterClassW(&wc);
    }();
    postWindow_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(postClass)), L"", 0, 0,
                                  0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
    if (postWindow_ == nullptr) throw std::runtime_error("Не удалось создать окно хода выполнения");
    SetWindowLongPtrW(postWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWinProgress::~TWinProgress() {
    SetWindowLongPtrW(postWindow_, GWLP_USERDATA, 0);
    DestroyWindow(postWindow_);
}

LRESULT CALLBACK TWinProgress::PostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPostedMessage) {
        if (auto* self = reinterpret_cast<TWinProgress*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            self->RunPosted();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void TWinProgress::Post(std::function<void()> call) {
    bool first = false;
    {
        std::lock_guard lock(postMutex_);
        first = posted_.empty();
        posted_.push_back(std::move(call));
    }
    if (first) PostMessageW(postWindow_, kPostedMessage, 0, 0);
}

void TWinProgress::RunPosted() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(postMutex_);
            if (posted_.empty()) return;
            call = std::move(posted_.front());
            posted_.pop_front();
        }
        call();
    }
}

bool TWinProgress::OnWindowThread() const {
    return GetCurrentThreadId() == thread_;
}

void TWinProgress::ShowState(const TProgressState& state) {
    shown_ = state;
    if (Handle() == nullptr) return;
    SetWindowTextW(Handle(), Wide(state.caption).c_str());
    const int lines[] = {IDC_PROGRESS_INFO, IDC_PROGRESS_INFO2, IDC_PROGRESS_INFO3};
    for (int i = 0; i < 3; ++i) SetText(lines[i], state.info[i]);
    const int max = std::max(state.max, 0);
    Send(IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, max);
    Send(IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(std::clamp(state.position, 0, max)));
}

bool TWinProgress::OnInit() {
    // Over the window it is shown for, or in the middle of the screen without one.
    HWND over = GetWindow(Handle(), GW_OWNER);
    RECT window{}, area{};
    GetWindowRect(Handle(), &window);
    if (over != nullptr && IsWindowVisible(over)) {
        GetWindowRect(over, &area);
        const int width = window.right - window.left, height = window.bottom - window.top;
        SetWindowPos(Handle(), nullptr, (area.left + area.right - width) / 2,
                     (area.top + area.bottom - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    } else {
        CentreOnScreen();
    }
    ShowState(shown_);
    return true;
}

void TWinProgress::RunModal() {
    // The window the operation was started from (the tables dialog or an editor over it) is disabled while
    // the progress runs; before any window of the dialog is shown, the one `owner_` names.
    HWND owner = GetActiveWindow();
    if (owner == nullptr && owner_) owner = owner_();
    TWinForm::ShowModal(owner);
}

void TWinProgress::EndModal(bool completed) {
    End(completed ? IDOK : IDCANCEL);
}

bool TWinProgress::OnCommand(int id, int code) {
    (void)code;
    // "Прервать" and Esc ask the abort question; nothing else closes the window.
    if (id == IDC_PROGRESS_CANCEL || id == IDCANCEL) {
        AbortClicked();
        return true;
    }
    return id == IDOK;
}

bool TWinProgress::AskYesNo(const std::string& text, TQuestionOwner owner) {
    HWND parent = owner == TQuestionOwner::ProgressWindow || GetActiveWindow() == nullptr ? Handle()
                                                                                          : GetActiveWindow();
    const bool ours = owner == TQuestionOwner::ProgressWindow;
    if (ours) windowQuestion_ = true;
    const int answer = MessageBoxW(parent, Wide(text).c_str(), Wide(kQuestionCaption).c_str(),
                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1);
    if (ours) windowQuestion_ = false;
    return answer == IDYES;
}

namespace {

// The message box of this thread that `find` names the owner of.
struct TOwnedBox {
    HWND owner;
    HWND box = nullptr;
};

BOOL CALLBACK FindOwnedBox(HWND hwnd, LPARAM data) {
    auto* find = reinterpret_cast<TOwnedBox*>(data);
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    if (GetWindow(hwnd, GW_OWNER) != find->owner || lstrcmpW(name, L"#32770") != 0) return TRUE;
    find->box = hwnd;
    return FALSE;
}

}  // namespace

void TWinProgress::CloseWindowQuestion() {
    if (!windowQuestion_ || Handle() == nullptr) return;
    TOwnedBox find{Handle()};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedBox, reinterpret_cast<LPARAM>(&find));
    if (find.box != nullptr) PostMessageW(find.box, WM_COMMAND, IDNO, 0);
}

// ---- TWinTables ----

namespace {

const int kTablesButtons[] = {IDC_TABLES_OPEN, IDC_TABLES_REFRESH, IDC_TABLES_LOAD,
                              IDC_TABLES_SAVE, IDC_TABLES_CLOSE,   0};

}  // namespace

TWinTables::TWinTables(const TDriverCalls& driver, HWND owner)
    : TWinForm(IDD_TABLES), driver_(driver), owner_(owner) {
    form_ = std::make_unique<TTablesForm>(
        driver, static_cast<ITablesView&>(*this),
        std::make_unique<TWinProgress>([this] { return Handle() != nullptr ? Handle() : owner_; }));
}

TWinTables::~TWinTables() = default;

const int* TWinTables::BusyButtons() const {
    return kTablesButtons;
}

bool TWinTables::OnInit() {
    HWND list = Item(IDC_TABLES_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, "Номер", 60, true);
    AddColumn(list, 1, "Название", 200);
    AddColumn(list, 2, "Рядов", 60, true);
    AddColumn(list, 3, "Полей", 60, true);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const TTableRow& row = rows_[i];
        const int index = AddItem(list, static_cast<int>(i), std::to_string(row.number));
        SetItemText(list, index, 1, row.name);
        SetItemText(list, index, 2, std::to_string(row.rows));
        SetItemText(list, index, 3, std::to_string(row.fields));
    }
    SelectItem(list, selected_);
    CentreOnScreen();
    SetFocus(list);
    return false;
}

void TWinTables::ClearRows() {
    rows_.clear();
    selected_ = -1;
    if (Handle() != nullptr) Send(IDC_TABLES_LIST, LVM_DELETEALLITEMS);
}

void TWinTables::ShowRow(const TTableRow& row) {
    // A row the list already has is kept once.
    auto it =
        std::find_if(rows_.begin(), rows_.end(), [&](const TTableRow& r) { return r.number == row.number; });
    const bool added = it == rows_.end();
    if (added) it = rows_.insert(rows_.end(), row);
    *it = row;
    const int index = static_cast<int>(it - rows_.begin());
    if (Handle() != nullptr) {
        HWND list = Item(IDC_TABLES_LIST);
        if (added) AddItem(list, index, std::to_string(row.number));
        SetItemText(list, index, 1, row.name);
        SetItemText(list, index, 2, std::to_string(row.rows));
        SetItemText(list, index, 3, std::to_string(row.fields));
    }
    Select(index);
}

void TWinTables::Select(int index) {
    selected_ = index;
    if (Handle() != nullptr) SelectItem(Item(IDC_TABLES_LIST), index);
}

void TWinTables::SelectFirstRow() {
    Select(rows_.empty() ? -1 : 0);
    if (Handle() != nullptr) SetFocus(Item(IDC_TABLES_LIST));
}

std::int32_t TWinTables::SelectedNumber() const {
    int index = selected_;
    if (Handle() != nullptr)
        index =
            static_cast<int>(Send(IDC_TABLES_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return index >= 0 && index < static_cast<int>(rows_.size())
               ? rows_[static_cast<std::size_t>(index)].number
               : 0;
}

void TWinTables::PostRowsAdded() {
    // Before the window exists, Open takes the rows itself once the read has ended.
    if (HWND hwnd = Handle()) PostMessageW(hwnd, kRowsAddedMessage, 0, 0);
}

bool TWinTables::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
    if (message != kRowsAddedMessage) return false;
    form_->TakeAddedRows();
    result = 0;
    return true;
}

bool TWinTables::OnCommand(int id, int code) {
    (void)code;
    switch (id) {
        case IDC_TABLES_OPEN:
            form_->OpenTable();
            SetFocus(Item(IDC_TABLES_LIST));
            return true;
        case IDOK:  // Enter in the list
            if (GetFocus() == Item(IDC_TABLES_LIST)) form_->OpenTable();
            return true;
        case IDC_TABLES_REFRESH:
            form_->Refresh();
            return true;
        case IDC_TABLES_LOAD:
            form_->LoadFromFile();
            return true;
        case IDC_TABLES_SAVE:
            form_->SaveToFile();
            return true;
        case IDC_TABLES_CLOSE:
            End(IDCANCEL);
            return true;
        default:
            return false;
    }
}

LRESULT TWinTables::OnNotify(const NMHDR& header) {
    if (header.idFrom != IDC_TABLES_LIST) return -1;
    if (header.code == NM_DBLCLK) {
        form_->OpenTable();
        return 0;
    }
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uNewState & LVIS_SELECTED) != 0) selected_ = change.iItem;
        return 0;
    }
    if (header.code == NM_RCLICK) {
        POINT at{};
        GetCursorPos(&at);
        ShowMenu(at);
        return 0;
    }
    return -1;
}

void TWinTables::ShowMenu(POINT at) {
    HMENU menu = LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDM_TABLES_MENU));
    if (menu == nullptr) return;
    const int id = TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0,
                                  Handle(), nullptr);
    DestroyMenu(menu);
    if (id != 0) OnCommand(id, 0);
}

bool TWinTables::ChooseTables(TTables& tables) {
    TWinTableChoice choice(tables);
    return choice.ShowModal(Handle()) == IDOK;
}

std::string TWinTables::ChooseFile(const TExportFileChoice& choice) {
    // "a|b|c|d" as the dialog takes it: "a\0b\0c\0d\0\0".
    std::wstring filter = Wide(choice.filter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    std::wstring name = Wide(choice.fileName);
    name.resize(MAX_PATH * 4, L'\0');
    const std::wstring folder = ProgramFolder();
    const std::wstring extension = Wide(choice.defaultExtension);
    const std::wstring title = Wide(choice.title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrDefExt = extension.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
                   (choice.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = choice.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return {};
    name.resize(wcslen(name.c_str()));
    return Narrow(name);
}

void TWinTables::OpenEditor(TTable& table, TTableEditorKind kind) {
    TWinTableEditor editor(driver_, form_->Engine(), table, kind);
    editor.ShowModal(Handle());
}

void TWinTables::ShowReport(const std::string& text, bool warning) {
    MessageBoxW(Handle(), Wide(text).c_str(), Wide(kDriverCaption).c_str(),
                MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

LONG ShowWinTables(const TDialogCall& call) {
    const HWND owner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.parentWnd));
    const TDriverCalls calls(call.driver);
    TWinTables dialog(calls, owner);
    if (!dialog.Open()) return 0;
    return dialog.ShowModal(owner) == IDOK ? 1 : 0;
}

// ---- TWinTableChoice ----

TWinTableChoice::TWinTableChoice(TTables& tables) : TWinForm(IDD_TABLE_CHOICE), form_(tables, *this) {}

bool TWinTableChoice::OnInit() {
    HWND list = Item(IDC_CHOICE_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(list, &client);
    AddColumn(list, 0, "Название", client.right - GetSystemMetrics(SM_CXVSCROLL));
    form_.Fill();
    SelectItem(list, 0);
    CentreOnScreen();
    return true;
}

void TWinTableChoice::AddRow(const std::string& name, bool checked) {
    const int count = static_cast<int>(Send(IDC_CHOICE_LIST, LVM_GETITEMCOUNT));
    SetChecked(AddItem(Item(IDC_CHOICE_LIST), count, name), checked);
}

void TWinTableChoice::SetChecked(int row, bool checked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    Send(IDC_CHOICE_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool TWinTableChoice::Checked(int row) const {
    const auto state = Send(IDC_CHOICE_LIST, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool TWinTableChoice::OnCommand(int id, int code) {
    (void)code;
    switch (id) {
        case IDOK:
            form_.Accept();
            End(IDOK);
            return true;
        case IDC_CHOICE_SELALL:
            form_.CheckAll(true);
            return true;
        case IDC_CHOICE_CLEARALL:
            form_.CheckAll(false);
            return true;
        default:
            return false;
    }
}
