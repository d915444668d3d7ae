#pragma once
// The tables dialogs as Win32 windows over their forms: the list of tables (TWinTables), the choice of tables
// (TWinTableChoice), the two table editors (TWinTableEditor: a report list view whose cells are edited in
// place by an EDIT placed over the cell) and the progress window of a transfer (TWinProgress).

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/ProgressForm.h"
#include "driver/forms/TableEditForm.h"
#include "driver/forms/TablesForm.h"
#include "driver/win32ui/WinForm.h"

// The progress window: the form's state drawn in three lines and a bar, its questions in message boxes,
// and what the worker posts run on the window's thread through a message-only window of that thread (it
// exists before the dialog is shown and after it closed).
class TWinProgress final : public IProgressView, public TWinForm, public TProgressForm {
  public:
    // The progress is shown over the thread's active window; `owner` gives the window when none is active.
    explicit TWinProgress(std::function<HWND()> owner);
    ~TWinProgress() override;

    // IProgressView
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    void ShowState(const TProgressState& state) override;
    bool OnWindowThread() const override;
    void Post(std::function<void()> call) override;
    void RunModal() override;
    void EndModal(bool completed) override;
    bool AskYesNo(const std::string& text, TQuestionOwner owner) override;
    void CloseWindowQuestion() override;

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;

  private:
    static LRESULT CALLBACK PostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void RunPosted();

    std::function<HWND()> owner_;
    const DWORD thread_;
    HWND postWindow_ = nullptr;
    std::mutex postMutex_;
    std::deque<std::function<void()>> posted_;
    TProgressState shown_;  // drawn again when the window is made
    bool windowQuestion_ = false;
};

class TWinTables final : public TWinForm, private ITablesView {
  public:
    TWinTables(const TDriverCalls& driver, HWND owner);
    ~TWinTables() override;

    // See TTablesForm::Open: before the window is shown.
    bool Open() { return form_->Open(); }

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;
    LRESULT OnNotify(const NMHDR& header) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    const int* BusyButtons() const override;

  private:
    // ITablesView
    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    void ClearRows() override;
    void ShowRow(const TTableRow& row) override;
    void SelectFirstRow() override;
    std::int32_t SelectedNumber() const override;
    void PostRowsAdded() override;
    bool ChooseTables(TTables& tables) override;
    std::string ChooseFile(const TExportFileChoice& choice) override;
    void OpenEditor(TTable& table, TTableEditorKind kind) override;
    void ShowReport(const std::string& text, bool warning) override;

    void Select(int index);
    void ShowMenu(POINT at);

    const TDriverCalls& driver_;
    HWND owner_;
    // The rows, kept also before the window exists (Open fills them before it is shown).
    std::vector<TTableRow> rows_;
    int selected_ = -1;
    std::unique_ptr<TTablesForm> form_;
};

class TWinTableChoice final : public TWinForm, private ITableChoiceView {
  public:
    explicit TWinTableChoice(TTables& tables);

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;

  private:
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    void AddRow(const std::string& name, bool checked) override;
    void SetChecked(int row, bool checked) override;
    bool Checked(int row) const override;

    TTableChoiceForm form_;
};

class TWinTableEditor final : public TWinForm, private ITableEditView {
  public:
    TWinTableEditor(const TDriverCalls& driver, TECR& ecr, TTable& table, TTableEditorKind kind);
    ~TWinTableEditor() override;

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;
    LRESULT OnNotify(const NMHDR& header) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    const int* BusyButtons() const override;

  private:
    // ITableEditView
    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int CurrentRow() const override { return row_; }
    int CurrentColumn() const override { return column_; }
    void SetCurrentCell(int row, int column) override;
    void EditCurrent() override {}
    void ShowHint(const std::string& text) override;
    TEditAnswer AskWriteEdit(const std::string& text) override;
    void PostChanges() override;
    void DeliverPosted() override {}

    // The list view's column of a grid column (the grid editor's first list column holds the row numbers).
    int ListColumn(int column) const;
    // The user moved the current cell.
    void MoveTo(int row, int column);
    // Opens the in-place editor over the current cell, with `text` typed when given.
    void BeginEdit(const wchar_t* typed);
    // Closes the in-place editor; `keep` puts its text into the cell first.
    void EndEdit(bool keep);
    // The in-place editor `edit` ended by `key` (VK_RETURN commits, VK_ESCAPE takes the text back, VK_UP and
    // VK_DOWN move) or by losing the focus (0: an edited text is committed).
    void EditEnded(HWND edit, WPARAM key);
    // The key and focus handling of the list and of the in-place editor.
    static LRESULT CALLBACK ListProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
    static LRESULT CALLBACK EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw) const;
    void FitColumns();
    void Layout();

    std::unique_ptr<TTableEditForm> form_;
    HWND list_ = nullptr;
    HWND edit_ = nullptr;  // the open in-place editor
    int editRow_ = -1, editColumn_ = -1;
    int row_ = -1, column_ = -1;
    bool moving_ = false;  // the selection is moved by the form, not the user
    bool closingEdit_ = false;
    SIZE opening_{};  // the window's size when it opened: its minimum
    int lastMinimum_ = 0;
};

// "Таблицы" modally over ParentWnd once the engine has the table list; 0 when closed (or when the list could
// not be had, without showing anything). Throws what TTablesForm::Open throws.
LONG ShowWinTables(const TDialogCall& call);
