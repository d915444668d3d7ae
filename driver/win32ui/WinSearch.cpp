#include "driver/win32ui/WinSearch.h"

#include <commctrl.h>

#include <algorithm>

#include "driver/win32ui/SearchIds.h"

namespace {

// Runs the tasks the search thread posted.
constexpr UINT kRunPosted = WM_APP + 40;

constexpr int kComboLabels[] = {IDC_SEARCH_PORT_,   IDC_SEARCH_BAUDRATE_, IDC_SEARCH_ECRTYPE_,
                                IDC_SEARCH_PORT,    IDC_SEARCH_BAUDRATE,  IDC_SEARCH_ECRTYPE,
                                IDC_SEARCH_PROGRESS};

struct TListOfParams {
    TSearchList list;
    int box;
    int all;
    int none;
};

constexpr TListOfParams kParamLists[] = {
    {TSearchList::Ports, IDC_PARAMS_PORTS, IDC_PARAMS_PORTS_ALL, IDC_PARAMS_PORTS_NONE},
    {TSearchList::BaudRates, IDC_PARAMS_BAUDRATES, IDC_PARAMS_BAUDRATES_ALL, IDC_PARAMS_BAUDRATES_NONE},
    {TSearchList::ECRTypes, IDC_PARAMS_ECRTYPES, IDC_PARAMS_ECRTYPES_ALL, IDC_PARAMS_ECRTYPES_NONE},
};

const TListOfParams& ParamList(TSearchList list) {
    return *std::find_if(std::begin(kParamLists), std::end(kParamLists),
                         [list](const TListOfParams& l) { return l.list == list; });
}

}  // namespace

// ---- "Свойства поиска" ----

TWinSearchParams::TWinSearchParams() : TWinForm(IDD_SEARCH_PARAMS) {}

bool TWinSearchParams::Edit(HWND owner, TSearchParams& params) {
    editing_ = &params;
    const bool ok = ShowModal(owner) == IDOK;
    editing_ = nullptr;
    return ok;
}

bool TWinSearchParams::OnInit() {
    tips_ =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, ModuleInstance(), nullptr);
    const std::wstring checkAll = Wide("Выбрать все");
    const std::wstring uncheckAll = Wide("Сбросить все");
    for (const TListOfParams& l : kParamLists) {
        const HWND box = Item(l.box);
        Send(l.box, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
             LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        RECT client{};
        GetClientRect(box, &client);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
        Send(l.box, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        for (const auto& [id, hint] : {std::pair{l.all, &checkAll}, std::pair{l.none, &uncheckAll}}) {
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = Handle();
            tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
            tool.lpszText = const_cast<LPWSTR>(hint->c_str());
            SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    if (editing_ != nullptr) form_.Show(*editing_);
    return true;
}

bool TWinSearchParams::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    for (const TListOfParams& l : kParamLists) {
        if (id == l.all || id == l.none) {
            form_.CheckAll(l.list, id == l.all);
            return true;
        }
    }
    if (id == IDC_PARAMS_DEFAULTS) {
        form_.SetDefaults();
        return true;
    }
    if (id == IDOK) {
        // The checks are read while the lists are still there.
        if (editing_ != nullptr) form_.Accept(*editing_);
        End(IDOK);
        return true;
    }
    return false;
}

void TWinSearchParams::ShowList(TSearchList list, const std::vector<TSearchItem>& items) {
    const int box = ParamList(list).box;
    const int current =
        std::max(static_cast<int>(Send(box, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)), 0);
    Send(box, WM_SETREDRAW, FALSE);
    Send(box, LVM_DELETEALLITEMS);
    int row = 0;
    for (const TSearchItem& item : items) {
        std::wstring text = Wide(item.Text);
        LVITEMW entry{};
        entry.mask = LVIF_TEXT;
        entry.iItem = row;
        entry.pszText = text.data();
        Send(box, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(item.Checked ? 2 : 1);
        Send(box, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        ++row;
    }
    if (row > 0) {
        LVITEMW focus{};
        focus.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        focus.state = LVIS_FOCUSED | LVIS_SELECTED;
        const int at = std::min(current, row - 1);
        Send(box, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&focus));
        Send(box, LVM_ENSUREVISIBLE, static_cast<WPARAM>(at), FALSE);
    }
    Send(box, WM_SETREDRAW, TRUE);
    InvalidateRect(Item(box), nullptr, TRUE);
}

std::vector<bool> TWinSearchParams::Checks(TSearchList list) const {
    const int box = ParamList(list).box;
    const int count = static_cast<int>(Send(box, LVM_GETITEMCOUNT));
    std::vector<bool> checks;
    for (int i = 0; i < count; ++i) {
        const auto state =
            static_cast<UINT>(Send(box, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_STATEIMAGEMASK));
        checks.push_back((state >> 12) == 2);
    }
    return checks;
}

// ---- "Поиск ККМ" ----

TWinSearch::TWinSearch(ITesselDriver* driver)
    : TWinForm(IDD_SEARCH),
      driver_(std::make_unique<TDriverCalls>(driver)),
      form_(std::make_unique<TSearchForm>(*driver_, static_cast<ISearchView&>(*this))) {}

TWinSearch::~TWinSearch() {
    // The search stops before the queue of posted tasks goes.
    form_.reset();
}

bool TWinSearch::OnInit() {
    {
        std::lock_guard lock(postMutex_);
        target_ = Handle();
    }
    Send(IDC_SEARCH_LIST, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const char* const titles[] = {"Порт", "Скорость", "Адрес", "Тип", "Название"};
    const int widths[] = {80, 70, 50, 80, 117};
    for (int c = 0; c < 5; ++c) {
        std::wstring title = Wide(titles[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = widths[c];
        column.pszText = title.data();
        column.iSubItem = c;
        Send(IDC_SEARCH_LIST, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    form_->Init();
    CentreOnScreen();
    return true;
}

bool TWinSearch::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_SEARCH_START:
            form_->StartClicked();
            return true;
        case IDC_SEARCH_SETUP:
            form_->SetupClicked();
            return true;
        case IDOK:
            form_->Choose();
            return true;
        case IDCANCEL:
            // Esc, the close box and "Отмена": the search ends with the window.
            Close(false);
            return true;
        default:
            return false;
    }
}

LRESULT TWinSearch::OnNotify(const NMHDR& header) {
    if (header.idFrom == IDC_SEARCH_LIST && header.code == NM_DBLCLK) {
        form_->Choose();
        return 0;
    }
    return -1;
}

bool TWinSearch::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
    if (message == kRunPosted) {
        RunPosted();
        result = 0;
        return true;
    }
    if (message == WM_DESTROY) {
        form_->Closing();
        std::lock_guard lock(postMutex_);
        target_ = nullptr;
        posted_.clear();
    }
    return false;
}

void TWinSearch::Post(std::function<void()> task) {
    std::lock_guard lock(postMutex_);
    if (target_ == nullptr) return;
    posted_.push_back(std::move(task));
    // One message wakes the window for every task queued until it runs them; a post the queue refused is
    // tried again with the next task.
    if (!woken_) woken_ = PostMessageW(target_, kRunPosted, 0, 0) != FALSE;
}

void TWinSearch::RunPosted() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(postMutex_);
        tasks.swap(posted_);
        woken_ = false;
    }
    for (auto& task : tasks) task();
}

void TWinSearch::ShowInfo(const std::string& text) {
    SetText(IDC_SEARCH_INFO, text);
}

void TWinSearch::ShowProgressControls(bool shown) {
    for (const int id : kComboLabels) ShowWindow(Item(id), shown ? SW_SHOWNA : SW_HIDE);
}

void TWinSearch::ShowCombination(const std::string& port, const std::string& speed, const std::string& kind) {
    SetText(IDC_SEARCH_PORT, port);
    SetText(IDC_SEARCH_BAUDRATE, speed);
    SetText(IDC_SEARCH_ECRTYPE, kind);
}

void TWinSearch::SetProgress(int position, int maximum) {
    Send(IDC_SEARCH_PROGRESS, PBM_SETRANGE32, 0, maximum);
    Send(IDC_SEARCH_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position));
}

void TWinSearch::SetStartButton(const std::string& caption, bool enabled) {
    SetText(IDC_SEARCH_START, caption);
    Enable(IDC_SEARCH_START, enabled);
}

void TWinSearch::EnableStart(bool enabled) {
    Enable(IDC_SEARCH_START, enabled);
}

void TWinSearch::EnableSetup(bool enabled) {
    Enable(IDC_SEARCH_SETUP, enabled);
}

void TWinSearch::ClearRows() {
    Send(IDC_SEARCH_LIST, LVM_DELETEALLITEMS);
}

void TWinSearch::AddRow(const TSearchRow& row) {
    const int at = static_cast<int>(Send(IDC_SEARCH_LIST, LVM_GETITEMCOUNT));
    std::wstring port = Wide(row.port);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = at;
    item.pszText = port.data();
    item.lParam = row.id;
    const auto index =
        static_cast<WPARAM>(Send(IDC_SEARCH_LIST, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    const std::string* texts[] = {&row.speed, &row.address, &row.kind, &row.name};
    for (int c = 1; c < 5; ++c) {
        std::wstring text = Wide(*texts[c - 1]);
        LVITEMW sub{};
        sub.iSubItem = c;
        sub.pszText = text.data();
        Send(IDC_SEARCH_LIST, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send(IDC_SEARCH_LIST, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
    Send(IDC_SEARCH_LIST, LVM_ENSUREVISIBLE, index, FALSE);
}

std::int32_t TWinSearch::SelectedRow() const {
    const auto index =
        static_cast<int>(Send(IDC_SEARCH_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0) return 0;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (Send(IDC_SEARCH_LIST, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) return 0;
    return static_cast<std::int32_t>(item.lParam);
}

bool TWinSearch::EditParams(TSearchParams& params) {
    if (!paramsWindow_) paramsWindow_ = std::make_unique<TWinSearchParams>();
    return paramsWindow_->Edit(Handle(), params);
}

void TWinSearch::Close(bool ok) {
    form_->Closing();
    End(ok ? IDOK : IDCANCEL);
}

LONG ShowWinSearch(const TDialogCall& call) {
    TWinSearch window(call.driver);
    return window.ShowModal(reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.parentWnd))) == IDOK ? 1 : 0;
}
