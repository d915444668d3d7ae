#pragma once
// TfmTables ("Таблицы"): the window of TTablesForm: the register's tables (number, name, rows, fields) with
// the buttons and the list's menu that open, refresh, save and load. Its transfer engine and progress window
// live as long as the window.

#include <QFileDialog>
#include <memory>

#include "driver/forms/DialogCall.h"
#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/TablesForm.h"

class QTreeWidget;

class TfmTables final : public TMyForm, public ITablesView {
  public:
    TfmTables(QWidget* parent, ITesselDriver* driver);
    ~TfmTables() override;

    // See TTablesForm::Open.
    bool Open() { return form_->Open(); }

    // ITablesView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ClearRows() override;
    void ShowRow(const TTableRow& row) override;
    void SelectFirstRow() override;
    std::int32_t SelectedNumber() const override;
    void PostRowsAdded() override;
    bool ChooseTables(TTables& tables) override;
    std::string ChooseFile(const TExportFileChoice& choice) override;
    void OpenEditor(TTable& table, TTableEditorKind kind) override;
    void ShowReport(const std::string& text, bool warning) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OpenTable();

    std::unique_ptr<TDriverCalls> driver_;
    QTreeWidget* listView_ = nullptr;
    QList<QWidget*> buttons_;
    std::unique_ptr<TTablesForm> form_;  // last: its engine's worker reaches the window
};

// Shows TfmTables modally over ParentWnd once its engine has the table list; 0 when closed (or when the
// list could not be had, without showing anything).
LONG ShowTables(const TDialogCall& call);
