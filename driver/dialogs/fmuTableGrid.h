#pragma once
// What the two table editors (TfmTable, TfmVTable) share: the grid with its always-open cell editor, the
// commit of a typed value and the reading of one cell through the driver, the table's change notification
// shown in the grid, and the error box of the tables windows.

#include <QLineEdit>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableWidget>
#include <functional>
#include <string>

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/tables/untECR.h"
#include "driver/tables/untTables.h"

// Runs an action of a tables window with `buttons` disabled, enabling them again in every case. An error is
// shown in the dialog base's box, except a driver error -5 (the driver's work broken off by the user), which
// is not shown. False when the action failed.
bool RunTableAction(const QList<QWidget*>& buttons, const std::function<void()>& action);

// An editable grid whose current cell always shows its editor. Enter commits the editor into the grid and
// reports the cell; leaving a cell reports it once the editor's text is in the grid.
class TTableGrid : public QTableWidget {
  public:
    explicit TTableGrid(QWidget* parent);

    // Enter in the editor of a cell.
    std::function<void(int row, int column)> onEnter;
    // The current cell moved; the cell left (-1 when none) already holds what its editor showed.
    std::function<void(int row, int column, int previousRow, int previousColumn)> onCurrentMoved;

    // A cell's text: its editor's when the editor is open on it.
    QString Text(int row, int column) const;
    // Sets a cell's text, and its open editor's.
    void SetText(int row, int column, const QString& text);
    // Opens the editor of the current cell.
    void EditCurrent();

    // The width the last column never goes below when it is fitted to the grid's right edge.
    void SetLastColumnMinimum(int width);
    // Paints every column but `valueColumn` as the one-row editor does: the current line in the highlight
    // colour with window-coloured text, the other lines in the window colour with black text.
    void HighlightCurrentLine(int valueColumn);
    // Shows "Ряд" over the row numbers.
    void SetCornerText(const QString& text);

    // The editor open on a cell, or null; for tests and the delegate.
    QLineEdit* Editor() const { return editor_; }

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Enter on the grid itself (its editor closed by Esc) commits the current cell too.
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class TDelegate;
    // The columns end exactly at the right edge of the viewport.
    void FitLastColumn();

    int lastMinimum_ = 0;
    int valueColumn_ = -1;  // >= 0: the one-row editor's painting
    QString cornerText_;
    QPointer<QLineEdit> editor_;
    QPersistentModelIndex editorIndex_;
};

// The base of the two table editors: a table of the engine shown in a grid, committed and read cell by cell
// through the driver. The table's OnChange is bound while the editor lives.
class TTableEditor : public TMyForm {
  public:
    ~TTableEditor() override;

  protected:
    TTableEditor(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table);

    // The cell shown at a grid position, or null for a position that shows no value.
    virtual TField* CellAt(int row, int column) const = 0;
    // The grid position of a cell's value.
    virtual QPoint PositionOf(const TField& cell) const = 0;
    // A cell the model changed: its grid row becomes the current one.
    virtual void MakeRowCurrent(int row) = 0;
    // The current cell moved (after the cell left was committed).
    virtual void CurrentMoved(int row, int column) { static_cast<void>(row), static_cast<void>(column); }

    void showEvent(QShowEvent* event) override;
    // "Закрыть", Esc and closing the window: an edit not yet written is settled first (SettleEdit).
    void reject() override;

    // Takes the grid after the subclass has made it; connects its signals.
    void BindGrid(TTableGrid* grid);
    // Makes the window open showing every column and up to 15 rows, within the screen; it is then never
    // made smaller than that.
    void OpenAtGridSize();
    // Writes the text of the cell at a grid position: the model's check, then WriteTable. A failure shows
    // its error (but -5) and puts the model's value back into the grid. False when it failed.
    bool Commit(int row, int column);
    // Before an action that would lose it (closing, reading all, clearing): a text typed into the current
    // cell and not written asks whether to write it. Yes writes it, No takes it back; true when the action
    // may go on, false when the user cancelled or the write failed.
    bool SettleEdit();
    // Reads one cell from the register into the model and the grid; throws the driver's error.
    void ReadCell(TField& cell);
    // "Прочитать все": the engine's read of the table, in its progress window.
    void ReadAll();
    // Every value cell of the grid shows its model value.
    void ShowModelValues();
    // Runs an action with the buttons disabled; see RunTableAction.
    bool Run(const std::function<void()>& action);

    const TDriverCalls& driver_;
    TECR& ecr_;
    TTable& table_;
    TTableGrid* grid_ = nullptr;
    QList<QWidget*> buttons_;

  private:
    void Changed(std::int32_t row, std::int32_t field, const QString& value);
    void CommitCell(TField& cell, const std::string& text);

    bool sized_ = false;       // the opening size is the minimum
    bool reading_ = false;     // a read is filling the model: moving the current cell commits nothing
    bool committing_ = false;  // the model's change comes from the cell being committed
};
