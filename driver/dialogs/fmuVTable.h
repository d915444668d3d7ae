#pragma once
// TfmVTable: the editor of a table with one row: one line per cell, showing the cell's row and field, the
// field's name, type and range, and the value, which alone can be selected and edited.

#include "driver/dialogs/fmuTableGrid.h"

class TfmVTable final : public TTableEditor {
  public:
    // The grid's columns; kValueColumn is "Значение".
    static constexpr int kColumnCount = 7;
    static constexpr int kValueColumn = 6;

    // The table must have its field definitions.
    TfmVTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table);

  protected:
    TField* CellAt(int row, int column) const override;
    QPoint PositionOf(const TField& cell) const override;
    void MakeRowCurrent(int row) override;

  private:
    void ReadField();
    void WriteField();
};
