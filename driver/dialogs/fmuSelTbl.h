#pragma once
// TfmSelTbl ("Выбор таблиц"): the choice of the tables that a save or a load takes: one checked row per
// Selected table; OK copies the checks to the tables.

#include "driver/dialogs/MyForm.h"
#include "driver/tables/untTables.h"

class QTreeWidget;

class TfmSelTbl final : public TMyForm {
  public:
    TfmSelTbl(QWidget* parent, TTables& tables);

    // Shows the choice modally; true when it closed with OK, after the checks were copied.
    bool Choose();

  private:
    void CheckAll(bool checked);

    TTables& tables_;
    QTreeWidget* listView_ = nullptr;
};
