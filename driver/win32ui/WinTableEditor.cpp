// TWinTableEditor: the two table editors as a report list view. The current cell is drawn in the highlight
// colour (the one-row editor's whole line but its value); an EDIT placed over the current cell on a double
// click, F2 or a typed character edits it: Enter commits, leaving it commits an edited text, Esc takes the
// text back.
#include <algorithm>

#include "driver/win32ui/TablesIds.h"
#include "driver/win32ui/WinTables.h"

namespace {

constexpr UINT kChangesMessage = WM_APP + 32;
// What the in-place editor asks of its dialog, handled once its own message is done: wParam the key
// (VK_RETURN, VK_ESCAPE, VK_UP, VK_DOWN) or 0 for the focus lost, lParam the editor.
constexpr UINT kEditEndMessage = WM_APP + 34;
// Rows an editor shows when it opens, at most.
constexpr int kOpeningRows = 15;
// Width of the grid editor's row numbers.
constexpr int kRowColumnWidth = 30;
// What a list's heading needs beside its text.
constexpr int kHeadingMargin = 16;

const int kEditButtons[] = {IDC_EDIT_READROW,
                            IDC_EDIT_READALL,
                            IDC_EDIT_CLEAR,
                            IDC_EDIT_READFIELD,
                            IDC_EDIT_WRITEFIELD,
                            IDC_EDIT_CLOSE,
                            0};

void SetListText(HWND list, int index, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

std::wstring ListText(HWND list, int index, int column) {
    std::wstring buffer(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length =
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    buffer.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
    return buffer;
}

int Width(HWND window, const std::wstring& text) {
    HDC dc = GetDC(window);
    const auto old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

TWinTableEditor::TWinTableEditor(const TDriverCalls& driver, TECR& ecr, TTable& table, TTableEditorKind kind)
    : TWinForm(kind == TTableEditorKind::OneRow ? IDD_TABLE_LINES : IDD_TABLE_GRID),
      form_(std::make_unique<TTableEditForm>(driver, static_cast<ITableEditView&>(*this), ecr, table, kind)) {
}

TWinTableEditor::~TWinTableEditor() = default;

const int* TWinTableEditor::BusyButtons() const {
    return kEditButtons;
}

int TWinTableEditor::ListColumn(int column) const {
    return form_->Kind() == TTableEditorKind::Grid ? column + 1 : column;
}

bool TWinTableEditor::OnInit() {
    SetWindowTextW(Handle(), Wide(form_->Caption()).c_str());
    list_ = Item(IDC_EDIT_GRID);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const TTableEditForm& form = *form_;
    const bool grid = form.Kind() == TTableEditorKind::Grid;
    std::vector<std::wstring> titles;
    if (grid) titles.push_back(Wide(form.CornerTitle()));
    for (int c = 0; c < form.ColumnCount(); ++c) titles.push_back(Wide(form.ColumnTitle(c)));
    const std::vector<std::string> rowTitles = form.RowTitles();
    std::vector<int> widths(titles.size(), 0);
    for (std::size_t c = 0; c < titles.size(); ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = titles[c].data();
        column.iSubItem = static_cast<int>(c);
        SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    for (int r = 0; r < form.RowCount(); ++r) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = r;
        std::wstring first =
            grid ? Wide(rowTitles[static_cast<std::size_t>(r)]) : Wide(form.InitialText(r, 0));
        item.pszText = first.data();
        SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = grid ? 0 : 1; c < form.ColumnCount(); ++c)
            SetListText(list_, r, ListColumn(c), Wide(form.InitialText(r, c)));
    }
    // Each column as wide as its widest text and its heading, with the list's margins; the grid's fields as
    // wide as their DisplayWidth characters "Ш" and 10 pixels.
    for (std::size_t c = 0; c < widths.size(); ++c) {
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
        widths[c] = std::max(static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, c, 0)),
                             Width(list_, titles[c]) + kHeadingMargin);
    }
    if (grid) {
        widths[0] = std::max(widths[0], kRowColumnWidth);
        for (int c = 0; c < form.ColumnCount(); ++c)
            widths[static_cast<std::size_t>(c + 1)] =
                Width(list_, std::wstring(form.ColumnChars(c), L'\x0428')) + 10;
    }
    for (std::size_t c = 0; c < widths.size(); ++c) SendMessageW(list_, LVM_SETCOLUMNWIDTH, c, widths[c]);
    lastMinimum_ = widths.back();
    SetWindowSubclass(list_, ListProcedure, 1, reinterpret_cast<DWORD_PTR>(this));

    // Opens showing every column and up to 15 rows, within the screen; never smaller than that.
    int listWidth = GetSystemMetrics(SM_CXVSCROLL) + 4;
    for (const int w : widths) listWidth += w;
    RECT itemRect{};
    itemRect.left = LVIR_BOUNDS;
    int rowHeight = 18;
    if (form.RowCount() > 0 && SendMessageW(list_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&itemRect)))
        rowHeight = itemRect.bottom - itemRect.top;
    const int listHeight = (std::min(form.RowCount(), kOpeningRows) + 1) * rowHeight + 8;
    RECT window{}, list{};
    GetWindowRect(Handle(), &window);
    GetWindowRect(list_, &list);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(window.right - window.left + listWidth - (list.right - list.left),
                                    (work.right - work.left) * 9 / 10);
    const int height = std::min<int>(window.bottom - window.top + listHeight - (list.bottom - list.top),
                                     (work.bottom - work.top) * 9 / 10);
    opening_ = {std::max<LONG>(width, window.right - window.left), std::max<LONG>(height, 120)};
    SetWindowPos(Handle(), nullptr, 0, 0, opening_.cx, opening_.cy, SWP_NOMOVE | SWP_NOZORDER);
    CentreOnScreen();
    Layout();

    SetCurrentCell(form.StartRow(), form.StartColumn());
    form_->CurrentMoved(row_, column_, -1, -1);
    SetFocus(list_);
    return false;
}

// ---- the layout ----

void TWinTableEditor::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int margin = 8;
    RECT button{};
    GetWindowRect(Item(IDC_EDIT_CLOSE), &button);
    const int buttonHeight = button.bottom - button.top;
    HWND status = Item(IDC_EDIT_STATUS);
    const int statusHeight = status != nullptr ? buttonHeight - 4 : 0;
    const int buttonsTop = client.bottom - margin - buttonHeight - (status != nullptr ? statusHeight + 4 : 0);
    MoveWindow(list_, margin, margin, client.right - 2 * margin, buttonsTop - 2 * margin, TRUE);
    for (const int id : kEditButtons) {
        HWND b = id != 0 ? Item(id) : nullptr;
        if (b == nullptr) continue;
        RECT r{};
        GetWindowRect(b, &r);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&r), 2);
        const int x = id == IDC_EDIT_CLOSE ? client.right - margin - (r.right - r.left) : r.left;
        MoveWindow(b, x, buttonsTop, r.right - r.left, buttonHeight, TRUE);
    }
    if (status != nullptr)
        MoveWindow(status, 0, client.bottom - statusHeight, client.right, statusHeight, TRUE);
    FitColumns();
}

void TWinTableEditor::FitColumns() {
    // The columns end exactly at the right edge of the list's client area; the last never narrower than its
    // text needs.
    const int columns =
        form_->Kind() == TTableEditorKind::Grid ? form_->ColumnCount() + 1 : form_->ColumnCount();
    if (columns <= 0) return;
    RECT client{};
    GetClientRect(list_, &client);
    int others = 0;
    for (int c = 0; c < columns - 1; ++c)
        others += static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, c, 0));
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, columns - 1, std::max<int>(client.right - others, lastMinimum_));
}

bool TWinTableEditor::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case kChangesMessage:
            form_->TakeChanges();
            result = 0;
            return true;
        case kEditEndMessage:
            EditEnded(reinterpret_cast<HWND>(lParam), wParam);
            result = 0;
            return true;
        case WM_SIZE:
            if (list_ != nullptr) {
                EndEdit(true);
                Layout();
            }
            result = 0;
            return true;
        case WM_GETMINMAXINFO:
            if (opening_.cx > 0) {
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize = {opening_.cx, opening_.cy};
            }
            result = 0;
            return true;
        default:
            return false;
    }
}

// ---- the view ----

std::string TWinTableEditor::CellText(int row, int column) const {
    if (edit_ != nullptr && row == editRow_ && column == editColumn_) return Narrow(WindowText(edit_));
    if (row < 0 || column < 0) return {};
    return Narrow(ListText(list_, row, ListColumn(column)));
}

void TWinTableEditor::SetCellText(int row, int column, const std::string& text) {
    const std::wstring wide = Wide(text);
    SetListText(list_, row, ListColumn(column), wide);
    if (edit_ != nullptr && row == editRow_ && column == editColumn_) SetWindowTextW(edit_, wide.c_str());
}

void TWinTableEditor::SetCurrentCell(int row, int column) {
    if (edit_ != nullptr && (row != editRow_ || column != editColumn_)) EndEdit(true);
    row_ = row;
    column_ = column;
    moving_ = true;
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    LVITEMW set{};
    set.state = set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&set));
    SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    moving_ = false;
    InvalidateRect(list_, nullptr, FALSE);
}

void TWinTableEditor::ShowHint(const std::string& text) {
    if (Item(IDC_EDIT_STATUS) != nullptr) SetText(IDC_EDIT_STATUS, text);
}

TEditAnswer TWinTableEditor::AskWriteEdit(const std::string& text) {
    const int answer = MessageBoxW(Handle(), Wide(text).c_str(), Wide(kDriverCaption).c_str(),
                                   MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON1);
    return answer == IDYES ? TEditAnswer::Yes : answer == IDNO ? TEditAnswer::No : TEditAnswer::Cancel;
}

void TWinTableEditor::PostChanges() {
    PostMessageW(Handle(), kChangesMessage, 0, 0);
}

// ---- the user's moves and the in-place editor ----

void TWinTableEditor::MoveTo(int row, int column) {
    if (row < 0 || row >= form_->RowCount()) return;
    if (form_->Kind() == TTableEditorKind::OneRow) column = TTableEditForm::kValueColumn;
    column = std::clamp(column, 0, form_->ColumnCount() - 1);
    if (row == row_ && column == column_) return;
    const int previousRow = row_, previousColumn = column_;
    SetCurrentCell(row, column);
    form_->CurrentMoved(row, column, previousRow, previousColumn);
}

void TWinTableEditor::BeginEdit(const wchar_t* typed) {
    if (!form_->IsValueCell(row_, column_) || !IsWindowEnabled(Item(IDC_EDIT_CLOSE))) return;
    if (edit_ != nullptr) EndEdit(true);
    RECT cell{};
    cell.top = ListColumn(column_);
    cell.left = ListColumn(column_) == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    if (!SendMessageW(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row_), reinterpret_cast<LPARAM>(&cell)))
        return;
    const int width = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, ListColumn(column_), 0));
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, cell.left,
                            cell.top, width, cell.bottom - cell.top + 1, list_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EDIT_CELL)), ModuleInstance(),
                            nullptr);
    if (edit_ == nullptr) return;
    editRow_ = row_;
    editColumn_ = column_;
    SendMessageW(edit_, WM_SETFONT, SendMessageW(list_, WM_GETFONT, 0, 0), TRUE);
    SetWindowTextW(edit_, typed != nullptr ? typed : ListText(list_, row_, ListColumn(column_)).c_str());
    SetWindowSubclass(edit_, EditProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
    SetFocus(edit_);
    const int end = GetWindowTextLengthW(edit_);
    SendMessageW(edit_, EM_SETSEL, typed != nullptr ? end : 0, end);
}

void TWinTableEditor::EndEdit(bool keep) {
    if (edit_ == nullptr || closingEdit_) return;
    closingEdit_ = true;
    HWND edit = edit_;
    if (keep) SetListText(list_, editRow_, ListColumn(editColumn_), WindowText(edit));
    edit_ = nullptr;
    editRow_ = editColumn_ = -1;
    if (GetFocus() == edit) SetFocus(list_);
    RemoveWindowSubclass(edit, EditProcedure, 1);
    DestroyWindow(edit);
    closingEdit_ = false;
}

LRESULT CALLBACK TWinTableEditor::EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TWinTableEditor*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DefSubclassProc(hwnd, message, wParam, lParam);
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_UP || wParam == VK_DOWN) {
                PostMessageW(self->Handle(), kEditEndMessage, wParam, reinterpret_cast<LPARAM>(hwnd));
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) return 0;  // no beep
            break;
        case WM_KILLFOCUS:
            // Leaving the editor writes an edited text, as leaving the cell does, unless what took the focus
            // settled the editor first (a button, a click on another cell).
            if (!self->closingEdit_)
                PostMessageW(self->Handle(), kEditEndMessage, 0, reinterpret_cast<LPARAM>(hwnd));
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TWinTableEditor::EditEnded(HWND edit, WPARAM key) {
    if (edit_ == nullptr || edit != edit_) return;
    if (key == 0 && GetFocus() == edit_) return;  // the focus came back
    const int row = editRow_, column = editColumn_;
    EndEdit(key != VK_ESCAPE);
    if (key == VK_RETURN) {
        form_->Commit(row, column);
    } else if (key == VK_UP || key == VK_DOWN) {
        MoveTo(row_ + (key == VK_UP ? -1 : 1), column_);
    } else if (key == 0) {
        form_->CellLeft(row, column);
    }
}

LRESULT CALLBACK TWinTableEditor::ListProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TWinTableEditor*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            // Enter and the arrows belong to the grid, not to the dialog.
            return DLGC_WANTALLKEYS | DefSubclassProc(hwnd, message, wParam, lParam);
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_RETURN:
                    // Enter with no editor open writes the cell as it stands.
                    self->form_->Commit(self->row_, self->column_);
                    return 0;
                case VK_F2:
                    self->BeginEdit(nullptr);
                    return 0;
                case VK_LEFT:
                case VK_RIGHT:
                    self->MoveTo(self->row_, self->column_ + (wParam == VK_LEFT ? -1 : 1));
                    return 0;
                case VK_ESCAPE:
                    PostMessageW(self->Handle(), WM_COMMAND, IDC_EDIT_CLOSE, 0);
                    return 0;
                case VK_TAB:
                    SetFocus(GetNextDlgTabItem(self->Handle(), hwnd, GetKeyState(VK_SHIFT) < 0));
                    return 0;
                default:
                    break;
            }
            break;
        case WM_CHAR:
            if (wParam >= 0x20 && wParam != 0x7F) {
                const wchar_t typed[2] = {static_cast<wchar_t>(wParam), 0};
                self->BeginEdit(typed);
                return 0;
            }
            if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB) return 0;
            break;
        case WM_VSCROLL:
        case WM_HSCROLL:
        case WM_MOUSEWHEEL:
            // The editor stays over its cell only while nothing scrolls.
            if (self->edit_ != nullptr) SetFocus(hwnd);
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            LVHITTESTINFO hit{};
            hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            SendMessageW(hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            SetFocus(hwnd);  // an open editor is left first
            if (hit.iItem >= 0) {
                const int column =
                    self->form_->Kind() == TTableEditorKind::Grid ? hit.iSubItem - 1 : hit.iSubItem;
                self->MoveTo(hit.iItem, std::max(column, 0));
                if (message == WM_LBUTTONDBLCLK) self->BeginEdit(nullptr);
            }
            return 0;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ListProcedure, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT TWinTableEditor::OnNotify(const NMHDR& header) {
    if (header.hwndFrom != list_) return -1;
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        // The arrows moved the list's focus: the grid's current row follows.
        if (!moving_ && (change.uNewState & LVIS_FOCUSED) != 0 && change.iItem != row_)
            MoveTo(change.iItem, column_);
        return 0;
    }
    if (header.code == NM_CUSTOMDRAW) {
        auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
        return CustomDraw(draw);
    }
    return -1;
}

LRESULT TWinTableEditor::CustomDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            // The cells are coloured one by one below, not by the list's selection.
            draw.nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int row = static_cast<int>(draw.nmcd.dwItemSpec);
            const int column = form_->Kind() == TTableEditorKind::Grid ? draw.iSubItem - 1 : draw.iSubItem;
            bool highlight = false;
            if (row == row_) {
                highlight = form_->Kind() == TTableEditorKind::Grid ? column == column_
                                                                    : column != TTableEditForm::kValueColumn;
                if (form_->Kind() == TTableEditorKind::OneRow && column == column_) highlight = true;
            }
            draw.nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
            draw.clrTextBk = GetSysColor(highlight ? COLOR_HIGHLIGHT : COLOR_WINDOW);
            draw.clrText = highlight ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

bool TWinTableEditor::OnCommand(int id, int code) {
    (void)code;
    switch (id) {
        case IDC_EDIT_READROW:
            EndEdit(true);
            form_->ReadRow();
            return true;
        case IDC_EDIT_READALL:
            EndEdit(true);
            form_->ReadAll();
            return true;
        case IDC_EDIT_CLEAR:
            EndEdit(true);
            form_->Clear();
            return true;
        case IDC_EDIT_READFIELD:
            EndEdit(true);
            form_->ReadField();
            return true;
        case IDC_EDIT_WRITEFIELD:
            EndEdit(true);
            form_->WriteField();
            return true;
        case IDOK:
            return true;  // Enter belongs to the grid
        case IDC_EDIT_CLOSE:
        case IDCANCEL:
            // A text typed and not written is settled first.
            EndEdit(true);
            if (form_->Close()) End(IDCANCEL);
            return true;
        default:
            return false;
    }
}
