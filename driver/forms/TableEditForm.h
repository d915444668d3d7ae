#pragma once
// The two editors of a table: the grid of a table with several rows (one line per table row, one column per
// field, the field names over the columns, the row numbers beside them, the hint of the current column's
// field in a status line) and the editor of a table with one row (one line per cell: row, field, name, type,
// range and the value, which alone can be edited). What both do: the commit of a typed value (the model's
// check, then WriteTable), the question before a typed value would be lost, reading one cell, a row or the
// whole table, and the table's changes shown in the grid. Grid positions count from 0.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"
#include "driver/forms/TablesForm.h"
#include "driver/tables/untECR.h"
#include "driver/tables/untTables.h"

// The answer to the question about a typed value.
enum class TEditAnswer { Yes, No, Cancel };

class ITableEditView : public IFormView {
  public:
    // The text a cell shows to the user: its open editor's when the editor is on it.
    virtual std::string CellText(int row, int column) const = 0;
    // Sets a cell's text, and its open editor's.
    virtual void SetCellText(int row, int column, const std::string& text) = 0;
    // The current cell; -1 when none.
    virtual int CurrentRow() const = 0;
    virtual int CurrentColumn() const = 0;
    virtual void SetCurrentCell(int row, int column) = 0;
    // Opens the editor of the current cell again (a message box took its focus) when the window is shown.
    virtual void EditCurrent() = 0;
    // The status line of the grid editor.
    virtual void ShowHint(const std::string& text) = 0;
    // The question with Yes, No and Cancel, a warning icon and the caption "Драйвер ККМ".
    virtual TEditAnswer AskWriteEdit(const std::string& text) = 0;
    // Any thread: has TTableEditForm::TakeChanges called soon on the window's thread.
    virtual void PostChanges() = 0;
    // Window's thread: delivers what is still on its way to the window (the posted changes, the moves of the
    // current cell they made), so that a finished read leaves nothing behind.
    virtual void DeliverPosted() = 0;
};

class TTableEditForm {
  public:
    // The one-row editor's columns; kValueColumn ("Значение") alone can be edited.
    static constexpr int kLineColumns = 7;
    static constexpr int kValueColumn = 6;

    // The table must have its field definitions (and, for the grid, rows). Binds the table's OnChange to the
    // view on the thread that creates the form.
    TTableEditForm(const TDriverCalls& driver, ITableEditView& view, TECR& ecr, TTable& table,
                   TTableEditorKind kind);
    ~TTableEditForm();
    TTableEditForm(const TTableEditForm&) = delete;
    TTableEditForm& operator=(const TTableEditForm&) = delete;

    // ---- the layout ----
    TTableEditorKind Kind() const { return kind_; }
    const std::string& Caption() const { return table_.Name; }
    int RowCount() const;
    int ColumnCount() const;
    std::string ColumnTitle(int column) const;
    // The grid's row numbers ("1".."RowCount"); the one-row editor has none (empty).
    std::vector<std::string> RowTitles() const;
    // The heading of the row numbers ("Ряд"); empty for the one-row editor.
    std::string CornerTitle() const;
    // The width of a grid column in characters "Ш" (the field's DisplayWidth); 0 for the one-row editor,
    // whose columns fit their widest text.
    int ColumnChars(int column) const;
    // The text a cell opens with: the model's value, or the line's fixed text.
    std::string InitialText(int row, int column) const;
    // Whether a cell holds a value (can be current and edited).
    bool IsValueCell(int row, int column) const { return CellAt(row, column) != nullptr; }
    // The cell current when the editor opens.
    int StartRow() const { return 0; }
    int StartColumn() const { return kind_ == TTableEditorKind::OneRow ? kValueColumn : 0; }

    // ---- the user's actions ----
    // Enter, "Записать поле": writes the text of the cell at a position. A failure shows its error (but -5)
    // and puts the model's value back. False when it failed.
    bool Commit(int row, int column);
    // The current cell moved: the cell left is committed when its text was edited (unless a read is filling
    // the grid); the grid shows the hint of the new column's field.
    void CurrentMoved(int row, int column, int previousRow, int previousColumn);
    // A cell's editor closed without Enter (it lost the focus): the cell is committed when its text differs
    // from the model's value.
    void CellLeft(int row, int column);
    // "Закрыть", Esc, closing the window: true when the window may close (see SettleEdit).
    bool Close() { return SettleEdit(); }
    // "Прочитать ряд": each field of the current row, separately; a field that fails is shown and the next
    // one is read.
    void ReadRow();
    // "Прочитать поле": the current line's cell.
    void ReadField();
    // "Записать поле".
    void WriteField();
    // "Прочитать все": the engine's read of the table in its progress window.
    void ReadAll();
    // "Очистить": every value emptied, in the model and the grid; nothing is sent.
    void Clear();

    // Window's thread: shows the changes the engine's worker made since the last call.
    void TakeChanges();

  private:
    struct TChange {
        std::int32_t row;
        std::int32_t field;
        std::string value;
    };

    TField* CellAt(int row, int column) const;
    // The grid position of a cell's value: {row, column}.
    std::pair<int, int> PositionOf(const TField& cell) const;
    void Changed(const TChange& change);
    void MakeRowCurrent(int row);
    void CommitCell(TField& cell, const std::string& text);
    // Before an action that would lose it (closing, reading all, clearing): a text typed into the current
    // cell and not written asks whether to write it. Yes writes it, No takes it back; true when the action
    // may go on, false when the user cancelled or the write failed.
    bool SettleEdit();
    // Reads one cell from the register into the model and the grid; throws the driver's error.
    void ReadCell(TField& cell);
    void ShowModelValues();

    const TDriverCalls& driver_;
    ITableEditView& view_;
    TECR& ecr_;
    TTable& table_;
    const TTableEditorKind kind_;
    const std::thread::id owner_;

    bool reading_ = false;     // a read is filling the model: moving the current cell commits nothing
    bool committing_ = false;  // the model's change comes from the cell being committed

    std::mutex changesMutex_;
    std::vector<TChange> changes_;  // made on the worker, not shown yet
};
