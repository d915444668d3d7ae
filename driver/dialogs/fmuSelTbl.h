#pragma once
// TfmSelTbl ("Выбор таблиц"): the window of TTableChoiceForm: a check-box list with one row per table and
// the buttons OK, "Отмена", "Выбрать" and "Сбросить".

#include "driver/dialogs/MyForm.h"
#include "driver/forms/TablesForm.h"

class QTreeWidget;

class TfmSelTbl final : public TMyForm, public ITableChoiceView {
  public:
    TfmSelTbl(QWidget* parent, TTables& tables);

    // Shows the choice modally; true when it closed with OK, after the checks were copied.
    bool Choose();

    // ITableChoiceView
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { TMyForm::ShowError(QString::fromStdString(text)); }
    void AddRow(const std::string& name, bool checked) override;
    void SetChecked(int row, bool checked) override;
    bool Checked(int row) const override;

  private:
    TTableChoiceForm form_;
    QTreeWidget* listView_ = nullptr;
};
