#pragma once
// TfmTable: the grid editor of a table with several rows: one grid row per table row, one column per field,
// the field names over the columns and the row numbers beside them; the hint of the current column's field
// in the status bar.

#include "driver/dialogs/fmuTableGrid.h"

class TfmTable final : public TTableEditor {
  public:
    // The table must have its field definitions and at least one row.
    TfmTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table);
};
