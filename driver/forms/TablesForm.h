#pragma once
// The tables dialog ("Таблицы"): the list of the register's tables, opening one in its editor, refreshing
// the list from the register, saving chosen tables to an export file and loading one back; and the choice of
// tables ("Выбор таблиц") that a save and a load show. The transfer engine and its progress window live as
// long as the form.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"
#include "driver/tables/untECR.h"

// Runs an action of a tables window as RunAction does, except that a driver error -5 (the driver's work
// broken off by the user) is not shown. False when the action failed.
bool RunTablesAction(IFormView& view, const std::function<void()>& action);
// The same without touching the buttons.
bool ShowTablesErrors(IFormView& view, const std::function<void()>& action);

// One row of the list: a table's number, name and size.
struct TTableRow {
    std::int32_t number = 0;
    std::string name;
    std::int32_t rows = 0;
    std::int32_t fields = 0;
};

// What a file dialog for export files is to offer.
struct TExportFileChoice {
    bool save = false;  // the save dialog, else the open dialog
    const char* title = "Загрузить таблицы";
    // "description|patterns|description|patterns".
    const char* filter = "Файлы экспорта/импорта (*.xch)|*.xch|Все файлы (*.*)|*.*";
    const char* defaultExtension = "xch";
    const char* fileName = "Таблицы";
};

// Which editor a table opens in.
enum class TTableEditorKind { OneRow, Grid };

class ITablesView : public IFormView {
  public:
    // The list: emptied; a row added, or the row of its number updated, then selected and scrolled into view.
    virtual void ClearRows() = 0;
    virtual void ShowRow(const TTableRow& row) = 0;
    // Selects the first row (when there is one) and puts the focus on the list.
    virtual void SelectFirstRow() = 0;
    // The table number of the selected row; 0 when no row is selected.
    virtual std::int32_t SelectedNumber() const = 0;
    // Any thread: has TTablesForm::TakeAddedRows called soon on the window's thread.
    virtual void PostRowsAdded() = 0;

    // The choice of tables over `tables` (a TTableChoiceForm), modal; true when closed with OK.
    virtual bool ChooseTables(TTables& tables) = 0;
    // A file dialog owned by this window starting in the host program's folder; the chosen path, or empty
    // when cancelled.
    virtual std::string ChooseFile(const TExportFileChoice& choice) = 0;
    // The editor of `table` (a TTableEditForm), modal over this window.
    virtual void OpenEditor(TTable& table, TTableEditorKind kind) = 0;
    // What a load did: an information box, or a warning when the write was not complete.
    virtual void ShowReport(const std::string& text, bool warning) = 0;
};

class TTablesForm {
  public:
    // The engine over `driver` with `progress` as its window; the tables' OnAdd shows each table added.
    TTablesForm(const TDriverCalls& driver, ITablesView& view, std::unique_ptr<IProgressWindow> progress);
    ~TTablesForm();
    TTablesForm(const TTablesForm&) = delete;
    TTablesForm& operator=(const TTablesForm&) = delete;

    TECR& Engine() const { return *ecr_; }
    const TDriverCalls& Driver() const { return driver_; }

    // Asks the register for its status and takes the table list (from the cache, else from the register),
    // then fills the list and selects its first row. False when the list could not be had (the read was
    // given up); throws EDriverError when the register's status cannot be read.
    bool Open();

    // The user's actions; each shows its own errors.
    // "Открыть...", double click, Enter: the selected table in its editor (nothing without a selection).
    void OpenTable();
    // "Обновить": the list read again from the register, rows appearing as they are read.
    void Refresh();
    // "Сохранить...": the chosen tables read and saved to an export file.
    void SaveToFile();
    // "Загрузить...": an export file written into the register, with a report of what was written.
    void LoadFromFile();

    // Window's thread: shows the rows the engine's worker added since the last call.
    void TakeAddedRows();

    // The report of a load. `markedBefore` and `markedAfter` count the cells marked for writing before and
    // after the write (the engine unmarks numbers it refuses); `complete` is false when the write was given
    // up or aborted.
    static std::string LoadReport(long long markedBefore, long long markedAfter,
                                  const std::vector<int>& skippedLines, bool complete);

  private:
    const TDriverCalls& driver_;
    ITablesView& view_;
    std::unique_ptr<TECR> ecr_;

    std::mutex addedMutex_;
    std::vector<TTableRow> added_;  // rows added on the worker, not shown yet
};

// The choice of tables: one checked row per Selected table; OK copies the checks to the tables.
class ITableChoiceView : public IFormView {
  public:
    virtual void AddRow(const std::string& name, bool checked) = 0;
    virtual void SetChecked(int row, bool checked) = 0;
    virtual bool Checked(int row) const = 0;
};

class TTableChoiceForm {
  public:
    TTableChoiceForm(TTables& tables, ITableChoiceView& view) : tables_(tables), view_(view) {}

    // One row per table, in list order.
    void Fill();
    // "Выбрать" (true) and "Сбросить" (false).
    void CheckAll(bool checked);
    // OK: each row's check becomes its table's Selected.
    void Accept();

  private:
    TTables& tables_;
    ITableChoiceView& view_;
    int rows_ = 0;
};
