#include "driver/forms/TableEditForm.h"

#include <algorithm>

#include "common/platform/TextFormat.h"

TTableEditForm::TTableEditForm(const TDriverCalls& driver, ITableEditView& view, TECR& ecr, TTable& table,
                               TTableEditorKind kind)
    : driver_(driver),
      view_(view),
      ecr_(ecr),
      table_(table),
      kind_(kind),
      owner_(std::this_thread::get_id()) {
    // The model changes on the engine's worker while "Прочитать все" runs: what the grid needs is copied
    // there and shown on the window's thread.
    table_.OnChange = [this](TTable& changed) {
        const TField* cell = changed.ChangedField();
        if (cell == nullptr) return;
        TChange change{cell->Row, cell->FieldNumber, cell->Value()};
        if (std::this_thread::get_id() == owner_) {
            Changed(change);
            return;
        }
        bool first = false;
        {
            std::lock_guard lock(changesMutex_);
            first = changes_.empty();
            changes_.push_back(std::move(change));
        }
        if (first) view_.PostChanges();
    };
}

TTableEditForm::~TTableEditForm() {
    table_.OnChange = nullptr;
}

// ---- the layout ----

int TTableEditForm::RowCount() const {
    return kind_ == TTableEditorKind::OneRow ? table_.Fields().Count() : table_.RowCount;
}

int TTableEditForm::ColumnCount() const {
    return kind_ == TTableEditorKind::OneRow ? kLineColumns : table_.FieldCount;
}

std::string TTableEditForm::ColumnTitle(int column) const {
    if (kind_ == TTableEditorKind::OneRow) {
        static const char* const kTitles[kLineColumns] = {"Ряд",  "Поле",  "Название", "Тип",
                                                          "Мин.", "Макс.", "Значение"};
        return column >= 0 && column < kLineColumns ? kTitles[column] : std::string();
    }
    return column >= 0 && column < table_.FieldDefs().Count() ? table_.FieldDefs().Items(column).Name
                                                              : std::string();
}

std::vector<std::string> TTableEditForm::RowTitles() const {
    std::vector<std::string> titles;
    if (kind_ == TTableEditorKind::Grid)
        for (int r = 1; r <= table_.RowCount; ++r) titles.push_back(std::to_string(r));
    return titles;
}

std::string TTableEditForm::CornerTitle() const {
    return kind_ == TTableEditorKind::Grid ? "Ряд" : "";
}

int TTableEditForm::ColumnChars(int column) const {
    if (kind_ == TTableEditorKind::OneRow || column < 0 || column >= table_.FieldDefs().Count()) return 0;
    return table_.FieldDefs().Items(column).DisplayWidth();
}

std::string TTableEditForm::InitialText(int row, int column) const {
    if (const TField* cell = CellAt(row, column)) return cell->Value();
    if (kind_ == TTableEditorKind::Grid || row < 0 || row >= table_.Fields().Count()) return {};
    const TField& cell = table_.Fields().Items(row);
    const TFieldDef& def = table_.FieldDefOf(cell);
    switch (column) {
        case 0:
            return std::to_string(cell.Row);
        case 1:
            return std::to_string(cell.FieldNumber);
        case 2:
            return def.Name;
        case 3:
            return FieldTypeName(def.FieldType);
        case 4:
            return std::to_string(def.ShownMin());
        case 5:
            return std::to_string(def.ShownMax());
        default:
            return {};
    }
}

TField* TTableEditForm::CellAt(int row, int column) const {
    if (kind_ == TTableEditorKind::Grid) {
        if (row < 0 || column < 0) return nullptr;
        return const_cast<TFields&>(table_.Fields()).Find(column + 1, row + 1);
    }
    if (column != kValueColumn || row < 0 || row >= table_.Fields().Count()) return nullptr;
    return &table_.Fields().Items(row);
}

std::pair<int, int> TTableEditForm::PositionOf(const TField& cell) const {
    if (kind_ == TTableEditorKind::Grid) return {cell.Row - 1, cell.FieldNumber - 1};
    return {(cell.Row - 1) * table_.FieldCount + cell.FieldNumber - 1, kValueColumn};
}

// ---- the model's changes ----

void TTableEditForm::TakeChanges() {
    std::vector<TChange> changes;
    {
        std::lock_guard lock(changesMutex_);
        changes.swap(changes_);
    }
    for (const TChange& change : changes) Changed(change);
}

void TTableEditForm::Changed(const TChange& change) {
    const TField* cell = table_.Fields().Find(change.field, change.row);
    if (cell == nullptr) return;
    const auto [row, column] = PositionOf(*cell);
    view_.SetCellText(row, column, change.value);
    // The cell being committed stays where the user moved to.
    if (!committing_) MakeRowCurrent(row);
}

void TTableEditForm::MakeRowCurrent(int row) {
    if (row == view_.CurrentRow()) return;
    view_.SetCurrentCell(
        row, kind_ == TTableEditorKind::OneRow ? kValueColumn : std::max(view_.CurrentColumn(), 0));
}

void TTableEditForm::ShowModelValues() {
    table_.Fields().ForEachMade([this](TField& cell) {
        const auto [row, column] = PositionOf(cell);
        view_.SetCellText(row, column, cell.Value());
    });
}

// ---- commits and reads ----

void TTableEditForm::CommitCell(TField& cell, const std::string& text) {
    const std::string before = cell.Value();
    table_.SetCellText(cell, text);
    try {
        driver_.Put(&ITesselDriver::put_TableNumber, table_.Number);
        driver_.Put(&ITesselDriver::put_RowNumber, cell.Row);
        driver_.Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
        driver_.Put(&ITesselDriver::put_FieldValue, text);
        driver_.Put(&ITesselDriver::put_FieldType, table_.FieldDefOf(cell).FieldType);
        driver_.Check(&ITesselDriver::WriteTable);
    } catch (...) {
        // The model holds what the register holds.
        cell.SetValue(before);
        throw;
    }
}

bool TTableEditForm::Commit(int row, int column) {
    TField* cell = CellAt(row, column);
    if (cell == nullptr) return true;
    const std::string text = view_.CellText(row, column);
    committing_ = true;
    const bool ok = RunTablesAction(view_, [&] { CommitCell(*cell, text); });
    committing_ = false;
    if (!ok) view_.SetCellText(row, column, cell->Value());
    view_.EditCurrent();
    return ok;
}

void TTableEditForm::CurrentMoved(int, int column, int previousRow, int previousColumn) {
    if (!reading_ && previousRow >= 0) CellLeft(previousRow, previousColumn);
    if (kind_ == TTableEditorKind::Grid && column >= 0 && column < table_.FieldDefs().Count())
        view_.ShowHint(table_.FieldDefs().Items(column).Hint());
}

void TTableEditForm::CellLeft(int row, int column) {
    const TField* cell = CellAt(row, column);
    if (cell != nullptr && view_.CellText(row, column) != cell->Value()) Commit(row, column);
}

bool TTableEditForm::SettleEdit() {
    const int row = view_.CurrentRow();
    const int column = view_.CurrentColumn();
    const TField* cell = CellAt(row, column);
    if (cell == nullptr || view_.CellText(row, column) == cell->Value()) return true;
    const TEditAnswer answer =
        view_.AskWriteEdit(tessel::FormatText("Поле \"%s\" (ряд %d) изменено.\nЗаписать новое значение ?",
                                              table_.FieldDefOf(*cell).Name.c_str(), cell->Row));
    if (answer == TEditAnswer::Yes) return Commit(row, column);
    if (answer == TEditAnswer::No) view_.SetCellText(row, column, cell->Value());
    view_.EditCurrent();
    return answer == TEditAnswer::No;
}

void TTableEditForm::ReadCell(TField& cell) {
    driver_.Put(&ITesselDriver::put_TableNumber, table_.Number);
    driver_.Put(&ITesselDriver::put_RowNumber, cell.Row);
    driver_.Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
    driver_.Check(&ITesselDriver::ReadTable);
    const std::string value = driver_.Get(&ITesselDriver::get_FieldValue);
    cell.SetValue(value);
    // Also when the model had that value: the grid may show an edited text.
    const auto [row, column] = PositionOf(cell);
    view_.SetCellText(row, column, value);
}

void TTableEditForm::ReadRow() {
    const int row = view_.CurrentRow();
    if (row < 0) return;
    RunTablesAction(view_, [&] {
        // Field by field: a field that fails is shown and the next one is read.
        for (int column = 0; column < table_.FieldCount; ++column)
            if (TField* cell = CellAt(row, column)) ShowTablesErrors(view_, [&] { ReadCell(*cell); });
    });
    view_.EditCurrent();
}

void TTableEditForm::ReadField() {
    TField* cell = CellAt(view_.CurrentRow(), kValueColumn);
    if (cell == nullptr) return;
    RunTablesAction(view_, [&] { ReadCell(*cell); });
    view_.EditCurrent();
}

void TTableEditForm::WriteField() {
    Commit(view_.CurrentRow(), kValueColumn);
}

void TTableEditForm::ReadAll() {
    if (!SettleEdit()) return;
    RunTablesAction(view_, [this] {
        reading_ = true;
        struct TDone {
            TTableEditForm& form;
            ~TDone() {
                // The changes still on their way, then the model as it now stands.
                form.view_.DeliverPosted();
                form.TakeChanges();
                form.ShowModelValues();
                form.reading_ = false;
            }
        } done{*this};
        ecr_.ReadTableData(table_);
    });
    view_.EditCurrent();
}

void TTableEditForm::Clear() {
    if (!SettleEdit()) return;
    table_.Fields().ClearValues();
    ShowModelValues();
}
