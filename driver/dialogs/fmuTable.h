#pragma once
// TfmTable: the grid editor of a table with several rows: one grid row per table row, one column per field,
// the field names over the columns and the row numbers beside them; the hint of the current column's field
// in the status bar.

#include "driver/dialogs/fmuTableGrid.h"

class QStatusBar;

class TfmTable final : public TTableEditor {
  public:
    // The table must have its field definitions and at least one row.
    TfmTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table);

  protected:
    TField* CellAt(int row, int column) const override;
    QPoint PositionOf(const TField& cell) const override;
    void MakeRowCurrent(int row) override;
    void CurrentMoved(int row, int column) override;

  private:
    void ReadRow();
    void Clear();

    QStatusBar* statusBar_ = nullptr;
};
