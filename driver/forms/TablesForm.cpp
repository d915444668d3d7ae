#include "driver/forms/TablesForm.h"

#include <filesystem>

#include "common/platform/TextFormat.h"
#include "driver/base/untError.h"

namespace {

// The cells a write of the chosen tables is to send: the Modified ones of the Selected tables.
long long MarkedCells(const TTables& tables) {
    long long marked = 0;
    for (int i = 0; i < tables.Count(); ++i) {
        const TTable& table = tables.Items(i);
        if (!table.Selected) continue;
        table.Fields().ForEachMade([&marked](TField& cell) { marked += cell.Modified ? 1 : 0; });
    }
    return marked;
}

TTableRow RowOf(const TTable& table) {
    return {table.Number, table.Name, table.RowCount, table.FieldCount};
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

}  // namespace

bool ShowTablesErrors(IFormView& view, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const EDriverError& e) {
        if (e.ErrorCode() != E_USERBREAK) view.ShowError(e.what());
    } catch (...) {
        view.ShowError(ErrorText(std::current_exception()));
    }
    return false;
}

bool RunTablesAction(IFormView& view, const std::function<void()>& action) {
    view.SetBusy(true);
    const bool done = ShowTablesErrors(view, action);
    view.SetBusy(false);
    return done;
}

// ---- TTablesForm ----

TTablesForm::TTablesForm(const TDriverCalls& driver, ITablesView& view,
                         std::unique_ptr<IProgressWindow> progress)
    : driver_(driver), view_(view), ecr_(std::make_unique<TECR>(driver.Interface(), std::move(progress))) {
    // Tables are added on the engine's worker: what a row shows is copied there and shown on the window's
    // thread.
    ecr_->Tables().OnAdd = [this](TTable& table) {
        bool first = false;
        {
            std::lock_guard lock(addedMutex_);
            first = added_.empty();
            added_.push_back(RowOf(table));
        }
        if (first) view_.PostRowsAdded();
    };
}

TTablesForm::~TTablesForm() {
    // Every operation has ended (its worker with it) by now.
    ecr_->Tables().OnAdd = nullptr;
}

void TTablesForm::TakeAddedRows() {
    std::vector<TTableRow> rows;
    {
        std::lock_guard lock(addedMutex_);
        rows.swap(added_);
    }
    for (const TTableRow& row : rows) view_.ShowRow(row);
}

bool TTablesForm::Open() {
    const bool opened = ecr_->Open();
    TakeAddedRows();
    if (!opened) return false;
    view_.ClearRows();
    for (int i = 0; i < ecr_->Tables().Count(); ++i) view_.ShowRow(RowOf(ecr_->Tables().Items(i)));
    view_.SelectFirstRow();
    return true;
}

void TTablesForm::OpenTable() {
    RunTablesAction(view_, [this] {
        const std::int32_t number = view_.SelectedNumber();
        TTable* table = number != 0 ? ecr_->Tables().FindByNumber(number) : nullptr;
        if (table == nullptr) return;
        // A cached structure that lacks definitions is read again, as one that has none.
        if (!table->StructureComplete()) {
            if (!ecr_->ReadFieldStructure(*table)) return;  // given up or aborted: the user knows
            table->SaveFieldDefs();
        }
        if (table->FieldDefs().Count() == 0) throw ETablesError("Количество полей в таблице равно 0.");
        if (table->RowCount == 0)
            throw ETablesError("Количество рядов в таблице равно 0.\r\nТаблица не содержит данных.");
        view_.OpenEditor(*table, table->RowCount == 1 ? TTableEditorKind::OneRow : TTableEditorKind::Grid);
    });
}

void TTablesForm::Refresh() {
    RunTablesAction(view_, [this] {
        view_.ClearRows();
        struct TDone {
            TTablesForm& form;
            ~TDone() { form.TakeAddedRows(); }
        } done{*this};
        ecr_->ReadStructure();
    });
}

void TTablesForm::SaveToFile() {
    RunTablesAction(view_, [this] {
        TTables& tables = ecr_->Tables();
        if (!view_.ChooseTables(tables) || !tables.HasSelected()) return;
        TExportFileChoice choice;
        choice.save = true;
        choice.title = "Сохранить таблицы";
        const std::string path = view_.ChooseFile(choice);
        if (path.empty() || !ecr_->ReadSelected()) return;
        const TExportResult result = tables.SaveToFile(path);
        // Two tables whose names are one section name cannot both be in the file: say which is missing. The
        // table holding the section is not always known (names that differ in a line break, which a section
        // name cannot hold).
        std::vector<std::string> missing;
        for (const TExportResult::TLeftOut& left : result.LeftOut) {
            missing.push_back(
                left.Holder != nullptr
                    ? tessel::FormatText(
                          "Таблица \"%s\" не сохранена: в файле её не отличить от таблицы \"%s\".",
                          left.Table->Name.c_str(), left.Holder->Name.c_str())
                    : tessel::FormatText(
                          "Таблица \"%s\" не сохранена: в файле её не отличить от другой таблицы.",
                          left.Table->Name.c_str()));
        }
        if (!missing.empty()) view_.ShowError(Join(missing));
    });
}

void TTablesForm::LoadFromFile() {
    RunTablesAction(view_, [this] {
        const std::string path = view_.ChooseFile(TExportFileChoice{});
        if (path.empty()) return;
        TTables& tables = ecr_->Tables();
        // Each load starts with nothing chosen and nothing marked: what an earlier load marked, or a load
        // that failed left, must never be written by this one's OK.
        tables.ClearSelection();
        for (int i = 0; i < tables.Count(); ++i) tables.Items(i).Fields().ClearModified();
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())), error))
            throw ETablesError("Файл не найден: " + path);
        const std::vector<int> skipped = tables.LoadFromFile(path);
        if (!view_.ChooseTables(tables) || !tables.HasSelected()) return;
        const long long marked = MarkedCells(tables);
        const bool complete = ecr_->WriteSelected();
        view_.ShowReport(LoadReport(marked, MarkedCells(tables), skipped, complete), !complete);
    });
}

std::string TTablesForm::LoadReport(long long markedBefore, long long markedAfter,
                                    const std::vector<int>& skippedLines, bool complete) {
    std::vector<std::string> lines;
    if (complete)
        lines.push_back(tessel::FormatText("Записано значений полей: %lld.", markedAfter));
    else
        lines.emplace_back("Запись таблиц прервана: в ККМ может быть записана только часть файла.");
    if (markedBefore > markedAfter)
        lines.push_back(
            tessel::FormatText("Не записаны недопустимые числа: %lld.", markedBefore - markedAfter));
    if (!skippedLines.empty()) {
        std::string numbers;
        for (const int line : skippedLines) numbers += (numbers.empty() ? "" : ", ") + std::to_string(line);
        lines.push_back("Пропущены строки файла без знака \"=\": " + numbers + ".");
    }
    return Join(lines);
}

// ---- TTableChoiceForm ----

void TTableChoiceForm::Fill() {
    rows_ = tables_.Count();
    for (int i = 0; i < rows_; ++i) view_.AddRow(tables_.Items(i).Name, tables_.Items(i).Selected);
}

void TTableChoiceForm::CheckAll(bool checked) {
    for (int i = 0; i < rows_; ++i) view_.SetChecked(i, checked);
}

void TTableChoiceForm::Accept() {
    // The rows were made from the list as it stands; nothing changes it while the choice is open.
    for (int i = 0; i < rows_ && i < tables_.Count(); ++i) tables_.Items(i).Selected = view_.Checked(i);
}
