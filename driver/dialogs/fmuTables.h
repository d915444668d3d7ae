#pragma once
// TfmTables ("Таблицы"): the register's tables: the list (number, name, rows, fields), opening one table in
// its editor, refreshing the list from the register, saving chosen tables to an export file and loading one
// back into the register. Its transfer engine and progress window live as long as the window.

#include <QFileDialog>
#include <memory>

#include "driver/forms/DialogCall.h"
#include "driver/calls/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/tables/untECR.h"

class QTreeWidget;
class QTreeWidgetItem;

class TfmTables final : public TMyForm {
  public:
    // The filter of the file dialogs, as "description|patterns|...".
    static const char* const kFilter;

    TfmTables(QWidget* parent, ITesselDriver* driver);
    ~TfmTables() override;

    // Asks the register for its status and takes the table list (from the cache, else from the register),
    // then fills the list. False when the list could not be had (the read was given up); throws
    // EDriverError when the register's status cannot be read.
    bool Open();

    TECR& Engine() const { return *ecr_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One row of the list: a table's number, name and size, copied where the table was added.
    struct TRow {
        std::int32_t number = 0;
        QString name;
        std::int32_t rows = 0;
        std::int32_t fields = 0;
    };
    void AddRow(const TRow& row);
    // Delivers the rows the engine's worker added and that are still on their way.
    void TakePendingRows();
    TTable* SelectedTable() const;

    void OpenTable();
    void Refresh();
    void SaveToFile();
    void LoadFromFile();
    // A file chosen in the open or the save dialog; empty when cancelled.
    QString ChooseFile(QFileDialog::AcceptMode mode);
    void Run(const std::function<void()>& action);

    std::unique_ptr<TDriverCalls> driver_;
    std::unique_ptr<TECR> ecr_;
    QTreeWidget* listView_ = nullptr;
    QList<QWidget*> buttons_;
};

// Shows TfmTables modally over ParentWnd once its engine has the table list; 0 when closed (or when the
// list could not be had, without showing anything).
LONG ShowTables(const TDialogCall& call);
