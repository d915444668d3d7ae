// The tables dialogs' behaviour against a scripted register and views that record what they are told: the
// list and the editor a table opens in, save and load through the choice of tables with what a load reports,
// the commit of a cell and its refusals, and the question before a typed value is lost.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/forms/TableEditForm.h"
#include "driver/forms/TablesForm.h"
#include "support/TempDir.h"
#include "tables/FakeDriver.h"

namespace {

namespace Id = TesselDispId;

std::vector<FakeTable> Tables() {
    return {
        {"Общие", {{"Номер ККМ", ftInt, 1, 1, 99}, {"Название", ftStr, 10, 0, 0}}, {{"1", "Магазин"}}},
        {"Кассиры",
         {{"Пароль", ftInt, 4, 0, 9999}, {"Имя", ftStr, 21, 0, 0}},
         {{"1", "Кассир 1"}, {"2", "Кассир 2"}, {"30", "Администратор"}}},
        {"Пустая", {{"Поле", ftInt, 1, 0, 9}}, {}},
    };
}

// The choice of tables as the user leaves it: only the tables named (all when none are named) checked.
class ChoiceView final : public ITableChoiceView {
  public:
    void SetBusy(bool) override {}
    void ShowError(const std::string&) override {}
    void AddRow(const std::string& name, bool checked) override { rows.push_back({name, checked}); }
    void SetChecked(int row, bool checked) override {
        rows.at(static_cast<std::size_t>(row)).second = checked;
    }
    bool Checked(int row) const override { return rows.at(static_cast<std::size_t>(row)).second; }
    std::vector<std::pair<std::string, bool>> rows;
};

class TablesView final : public ITablesView {
  public:
    void SetBusy(bool busy) override { busyCalls += busy ? 1 : 0; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ClearRows() override { rows.clear(); }
    void ShowRow(const TTableRow& row) override {
        rows[row.number] = row.name;
        selected = row.number;
    }
    void SelectFirstRow() override { selected = rows.empty() ? 0 : rows.begin()->first; }
    std::int32_t SelectedNumber() const override { return selected; }
    void PostRowsAdded() override {}
    bool ChooseTables(TTables& tables) override {
        ++choices;
        ChoiceView view;
        TTableChoiceForm form(tables, view);
        form.Fill();
        checkedOnOpen = 0;
        for (const auto& row : view.rows) checkedOnOpen += row.second ? 1 : 0;
        if (!accept) return false;
        form.CheckAll(choose.empty());
        for (std::size_t i = 0; i < view.rows.size(); ++i)
            if (choose.count(view.rows[i].first) != 0) view.SetChecked(static_cast<int>(i), true);
        form.Accept();
        return true;
    }
    std::string ChooseFile(const TExportFileChoice& choice) override {
        fileDialogs.push_back(choice.save);
        return file;
    }
    void OpenEditor(TTable& table, TTableEditorKind kind) override { opened.push_back({table.Number, kind}); }
    void ShowReport(const std::string& text, bool warning) override { reports.push_back({text, warning}); }

    std::map<std::int32_t, std::string> rows;
    std::int32_t selected = 0;
    int busyCalls = 0;
    std::vector<std::string> errors;
    bool accept = true;
    std::set<std::string> choose;  // the tables checked on OK; empty: all
    int choices = 0;
    int checkedOnOpen = 0;
    std::string file;
    std::vector<bool> fileDialogs;  // true: the save dialog
    std::vector<std::pair<std::int32_t, TTableEditorKind>> opened;
    std::vector<std::pair<std::string, bool>> reports;
};

class TablesFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey(kTableDefsKey);
        driver_.tables = Tables();
        form_ = std::make_unique<TTablesForm>(*calls_, view_, std::make_unique<TConsoleProgress>());
        ASSERT_TRUE(form_->Open());
    }
    TTable& Table(int number) { return *form_->Engine().Tables().FindByNumber(number); }

    FakeDriver driver_;
    std::unique_ptr<TDriverCalls> calls_ = std::make_unique<TDriverCalls>(&driver_);
    TablesView view_;
    std::unique_ptr<TTablesForm> form_;
    TempDir dir_;
};

TEST_F(TablesFormTest, OpenListsTheTablesAndEachOpensInItsEditor) {
    EXPECT_EQ(view_.rows, (std::map<std::int32_t, std::string>{{1, "Общие"}, {2, "Кассиры"}, {3, "Пустая"}}));
    EXPECT_EQ(view_.selected, 1);
    for (const int number : {1, 2, 3}) {
        view_.selected = number;
        form_->OpenTable();
    }
    view_.selected = 0;  // nothing selected: nothing opens
    form_->OpenTable();
    using Opened = std::pair<std::int32_t, TTableEditorKind>;
    EXPECT_EQ(view_.opened,
              (std::vector<Opened>{{1, TTableEditorKind::OneRow}, {2, TTableEditorKind::Grid}}));
    EXPECT_EQ(view_.errors,
              std::vector<std::string>{"Количество рядов в таблице равно 0.\r\nТаблица не содержит данных."});
    // Each structure was read once, as the table was first opened.
    EXPECT_EQ(driver_.Count(Id::GetFieldStruct), 5);
}

TEST_F(TablesFormTest, SaveAndLoadWriteTheChosenTablesBackAndSayWhatWasWritten) {
    view_.file = dir_.File("backup.xch");
    view_.choose = {"Кассиры"};
    form_->SaveToFile();
    driver_.tables[1].rows[0] = {"7", "Мусор"};
    driver_.tables[1].rows[2][1] = "Чужой";
    {
        // A number that is no number in the file is not sent.
        std::ofstream file(view_.file, std::ios::binary | std::ios::app);
        file << tessel::Utf8ToCp1251("[Общие]\r\n0001.01=12a\r\nлишняя строка\r\n");
    }
    view_.choose = {};
    form_->LoadFromFile();
    EXPECT_EQ(view_.fileDialogs, (std::vector<bool>{true, false}));
    // The load's choice opens with the file's tables checked.
    EXPECT_EQ(view_.checkedOnOpen, 2);
    EXPECT_EQ(driver_.tables[1].rows[0], (std::vector<std::string>{"1", "Кассир 1"}));
    EXPECT_EQ(driver_.tables[1].rows[2][1], "Администратор");
    EXPECT_EQ(driver_.tables[0].rows[0][0], "1");
    ASSERT_EQ(view_.reports.size(), 1u);
    EXPECT_EQ(view_.reports[0].first,
              "Записано значений полей: 6.\nНе записаны недопустимые числа: 1.\n"
              "Пропущены строки файла без знака \"=\": 11.");
    EXPECT_FALSE(view_.reports[0].second);
    EXPECT_TRUE(view_.errors.empty());
}

struct LoadCase {
    const char* name;
    bool fileExists;
    bool accept;
    std::set<std::string> choose;
    LONG refuse;  // the register's code for the first write; 0: none
    std::vector<std::pair<std::string, bool>> reports;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadTest : public TablesFormTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, WritesOnlyWhatTheUserChoseAndReportsIt) {
    const LoadCase& c = GetParam();
    view_.file = dir_.File("load.xch");
    if (c.fileExists)
        std::ofstream(view_.file, std::ios::binary)
            << tessel::Utf8ToCp1251("[Кассиры]\r\n0001.02=Петров\r\n");
    view_.accept = c.accept;
    view_.choose = c.choose;
    if (c.refuse != 0) driver_.FailNext(Id::WriteTable, c.refuse);
    form_->LoadFromFile();
    EXPECT_EQ(view_.errors, c.fileExists ? std::vector<std::string>{}
                                         : std::vector<std::string>{"Файл не найден: " + view_.file});
    EXPECT_EQ(view_.reports, c.reports);
    const bool written = c.reports.size() == 1 && !c.reports[0].second;
    EXPECT_EQ(driver_.tables[1].rows[0][1], written ? "Петров" : "Кассир 1");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadTest,
    ::testing::Values(LoadCase{"Written", true, true, {}, 0, {{"Записано значений полей: 1.", false}}},
                      LoadCase{"ChoiceCancelled", true, false, {}, 0, {}},
                      // The console progress gives a failing step up: the register may hold part of the file.
                      LoadCase{
                          "Refused",
                          true,
                          true,
                          {},
                          139,
                          {{"Запись таблиц прервана: в ККМ может быть записана только часть файла.", true}}},
                      LoadCase{"NoFile", false, true, {}, 0, {}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST_F(TablesFormTest, SaveWithNothingCheckedShowsNoFileDialog) {
    view_.choose = {"нет такой"};
    form_->SaveToFile();
    EXPECT_EQ(view_.choices, 1);
    EXPECT_TRUE(view_.fileDialogs.empty());
}

// ---- the editors ----

class EditView final : public ITableEditView {
  public:
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::string CellText(int row, int column) const override {
        const auto it = cells.find({row, column});
        return it == cells.end() ? std::string() : it->second;
    }
    void SetCellText(int row, int column, const std::string& text) override { cells[{row, column}] = text; }
    int CurrentRow() const override { return row; }
    int CurrentColumn() const override { return column; }
    void SetCurrentCell(int r, int c) override { row = r, column = c; }
    void EditCurrent() override {}
    void ShowHint(const std::string& text) override { hint = text; }
    TEditAnswer AskWriteEdit(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void PostChanges() override { ++posted; }
    void DeliverPosted() override {}

    std::map<std::pair<int, int>, std::string> cells;
    int row = 0, column = 0;
    std::string hint;
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    TEditAnswer answer = TEditAnswer::Yes;
    int posted = 0;
};

class TableEditTest : public TablesFormTest {
  protected:
    // The editor of table `number` with the view filled as a window fills it, at the form's first cell.
    std::unique_ptr<TTableEditForm> Edit(int number, TTableEditorKind kind) {
        auto form = std::make_unique<TTableEditForm>(*calls_, edit_, form_->Engine(), Table(number), kind);
        for (int r = 0; r < form->RowCount(); ++r)
            for (int c = 0; c < form->ColumnCount(); ++c) edit_.cells[{r, c}] = form->InitialText(r, c);
        edit_.SetCurrentCell(form->StartRow(), form->StartColumn());
        return form;
    }
    void SetUp() override {
        TablesFormTest::SetUp();
        ASSERT_TRUE(form_->Engine().ReadFieldStructure(Table(1)));
        ASSERT_TRUE(form_->Engine().ReadFieldStructure(Table(2)));
    }

    EditView edit_;
};

TEST_F(TableEditTest, OneRowEditorShowsALinePerCellAndReadsAllThroughTheWorker) {
    auto form = Edit(1, TTableEditorKind::OneRow);
    EXPECT_EQ(form->RowCount(), 2);
    EXPECT_EQ(form->StartColumn(), TTableEditForm::kValueColumn);
    EXPECT_FALSE(form->IsValueCell(0, 2));
    std::vector<std::string> line;
    for (int c = 0; c < form->ColumnCount(); ++c) line.push_back(edit_.CellText(1, c));
    EXPECT_EQ(line, (std::vector<std::string>{"1", "2", "Название", "строка", "0", "10", ""}));
    form->ReadAll();
    // The values came from the worker's thread through the posted changes, the current line with them.
    EXPECT_EQ(edit_.posted, 1);
    EXPECT_EQ(edit_.CellText(0, 6), "1");
    EXPECT_EQ(edit_.CellText(1, 6), "Магазин");
    EXPECT_EQ(edit_.row, 1);
}

struct CommitCase {
    const char* name;
    int column;  // of the grid editor's first row
    std::string text;
    LONG refuse;         // the register's (or the driver's) code for the write; 0: none
    std::string error;   // empty: none shown
    std::string stored;  // what the register then holds
};

void PrintTo(const CommitCase& c, std::ostream* os) {
    *os << c.name;
}

class CommitTest : public TableEditTest, public ::testing::WithParamInterface<CommitCase> {};

// The model's check first (nothing is sent when it fails), then the register; a refused cell shows the value
// the register holds, and a driver error -5 is not shown.
TEST_P(CommitTest, EnterWritesTheCellOrShowsWhyNot) {
    const CommitCase& c = GetParam();
    auto form = Edit(2, TTableEditorKind::Grid);
    edit_.SetCurrentCell(0, c.column);
    form->ReadRow();
    if (c.refuse != 0) driver_.FailNext(Id::WriteTable, c.refuse);
    edit_.cells[{0, c.column}] = c.text;
    EXPECT_EQ(form->Commit(0, c.column), c.error.empty() && c.refuse == 0);
    EXPECT_EQ(edit_.errors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    EXPECT_EQ(driver_.tables[1].rows[0][static_cast<std::size_t>(c.column)], c.stored);
    EXPECT_EQ(edit_.CellText(0, c.column), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommitTest,
    ::testing::Values(CommitCase{"Text", 1, "Петров", 0, "", "Петров"},
                      CommitCase{"Number", 0, "42", 0, "", "42"},
                      CommitCase{"Letters", 0, "12a", 0,
                                 "Неверное значение поля \"Пароль\".\r\n\"12a\" не является целым числом.",
                                 "1"},
                      CommitCase{"Refused", 1, "Петров", 139, "Ошибка 139", "Кассир 1"},
                      CommitCase{"BrokenOff", 1, "Петров", E_USERBREAK, "", "Кассир 1"}),
    [](const ::testing::TestParamInfo<CommitCase>& info) { return std::string(info.param.name); });

struct SettleCase {
    TEditAnswer answer;
    bool closes;
    std::string stored;
    std::string shown;
};

void PrintTo(const SettleCase& c, std::ostream* os) {
    *os << static_cast<int>(c.answer);
}

class SettleTest : public TableEditTest, public ::testing::WithParamInterface<SettleCase> {};

// A typed value not written yet is not lost to closing: Yes writes it, No takes it back, Cancel keeps it
// and the window open.
TEST_P(SettleTest, ClosingAsksAboutATypedValue) {
    auto form = Edit(2, TTableEditorKind::Grid);
    edit_.SetCurrentCell(1, 1);
    form->ReadRow();
    edit_.cells[{1, 1}] = "Петров";
    edit_.answer = GetParam().answer;
    EXPECT_EQ(form->Close(), GetParam().closes);
    EXPECT_EQ(edit_.questions,
              std::vector<std::string>{"Поле \"Имя\" (ряд 2) изменено.\nЗаписать новое значение ?"});
    EXPECT_EQ(driver_.tables[1].rows[1][1], GetParam().stored);
    EXPECT_EQ(edit_.CellText(1, 1), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettleTest,
                         ::testing::Values(SettleCase{TEditAnswer::Yes, true, "Петров", "Петров"},
                                           SettleCase{TEditAnswer::No, true, "Кассир 2", "Кассир 2"},
                                           SettleCase{TEditAnswer::Cancel, false, "Кассир 2", "Петров"}));

TEST_F(TableEditTest, LeavingAnEditedCellWritesItAndClearSendsNothing) {
    auto form = Edit(2, TTableEditorKind::Grid);
    edit_.cells[{2, 1}] = "Сидоров";
    edit_.SetCurrentCell(2, 0);
    form->CurrentMoved(2, 0, 2, 1);
    EXPECT_EQ(driver_.tables[1].rows[2][1], "Сидоров");
    EXPECT_EQ(edit_.hint, "Число 0..9999");
    const int writes = driver_.Count(Id::WriteTable);
    form->Clear();
    EXPECT_EQ(edit_.CellText(2, 1), "");
    EXPECT_EQ(driver_.Count(Id::WriteTable), writes);
    EXPECT_TRUE(edit_.questions.empty());
}

}  // namespace
