#pragma once
// TfmVTable: the editor of a table with one row: one line per cell, showing the cell's row and field, the
// field's name, type and range, and the value, which alone can be selected and edited.

#include "driver/dialogs/fmuTableGrid.h"

class TfmVTable final : public TTableEditor {
  public:
    // The table must have its field definitions.
    TfmVTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table);
};
