#pragma once
// What the two table editors (TfmTable, TfmVTable) share: the grid with its always-open cell editor, and the
// window of their form (TTableEditForm), which does what they do.

#include <QLineEdit>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableWidget>
#include <functional>
#include <memory>
#include <string>

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/TableEditForm.h"
#include "driver/tables/untECR.h"
#include "driver/tables/untTables.h"

// An editable grid whose current cell always shows its editor. Enter commits the editor into the grid and
// reports the cell; leaving a cell reports it once the editor's text is in the grid.
class QStatusBar;

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

// The base of the two table editors: the window of a TTableEditForm, whose grid the subclass makes.
class TTableEditor : public TMyForm, public ITableEditView {
  public:
    ~TTableEditor() override;

    // ITableEditView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int CurrentRow() const override;
    int CurrentColumn() const override;
    void SetCurrentCell(int row, int column) override;
    void EditCurrent() override;
    void ShowHint(const std::string& text) override;
    TEditAnswer AskWriteEdit(const std::string& text) override;
    void PostChanges() override;
    void DeliverPosted() override;

  protected:
    TTableEditor(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table,
                 TTableEditorKind kind);

    void showEvent(QShowEvent* event) override;
    // "Закрыть", Esc and closing the window: an edit not yet written is settled first.
    void reject() override;

    // Takes the grid after the subclass has made it and filled it from the form; connects its signals.
    void BindGrid(TTableGrid* grid);
    // Makes the window open showing every column and up to 15 rows, within the screen; it is then never
    // made smaller than that.
    void OpenAtGridSize();

    std::unique_ptr<TTableEditForm> form_;
    TTableGrid* grid_ = nullptr;
    QList<QWidget*> buttons_;
    QStatusBar* statusBar_ = nullptr;  // the grid editor's

  private:
    bool sized_ = false;  // the opening size is the minimum
};
