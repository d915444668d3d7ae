// The tables dialogs, opened by the driver's ShowTablesDlg against an emulated register: the list, the two
// editors and their commits, save and load through the file dialogs and the choice of tables, and the
// progress window with its two questions.
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "driver/tables/untTables.h"
#include "support/DialogFixture.h"
#include "support/ForwardingDriver.h"
#include "support/TempDir.h"

namespace tessel_test {
namespace {

constexpr std::uint8_t kWriteTableOpcode = 0x1E;

bool IsProgress(const QWidget& window) {
    return window.objectName() == "TfmProgress";
}

QTreeWidget& List(const QWidget& window) {
    return Child<QTreeWidget>(window, "ListView");
}

QTableWidget& Grid(const QWidget& editor) {
    return Child<QTableWidget>(editor, "Grid");
}

// Selects the row of table `number` in the tables dialog and opens it with Enter.
void OpenTable(QWidget& dialog, int number) {
    QTreeWidget& list = List(dialog);
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->text(0) == QString::number(number))
            list.setCurrentItem(list.topLevelItem(i));
    QTest::keyClick(&list, Qt::Key_Return);
}

// The first step of a script that edits one table: the table opened from the list, the list closed.
ModalScript::Step OpenOnly(int number) {
    return [number](QWidget& dialog) {
        OpenTable(dialog, number);
        Click(dialog, "btnClose");
    };
}

// The editor open in the grid's current cell.
QLineEdit& CellEditor(const QTableWidget& grid) {
    QLineEdit* editor = nullptr;
    WaitFor([&] {
        for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) editor = e;
        return editor != nullptr;
    });
    if (editor == nullptr) throw std::runtime_error("the current cell shows no editor");
    return *editor;
}

// Replaces the text of the current cell's editor as a user types it.
void TypeIntoCell(const QTableWidget& grid, const QString& text) {
    QLineEdit& editor = CellEditor(grid);
    editor.selectAll();
    TypeText(editor, text);
}

// Picks `path` in a file dialog as a user types the whole path into its name field and presses Enter.
void PickFile(QWidget& window, const std::string& path) {
    ASSERT_NE(qobject_cast<QFileDialog*>(&window), nullptr) << window.windowTitle().toStdString();
    auto& name = Child<QLineEdit>(window, "fileNameEdit");
    name.setText(QString::fromStdString(path));
    QTest::keyClick(&name, Qt::Key_Return);
}

// Whether a modal window that `match` picks was ever the active one while the watch lived; one that opens is
// closed at once.
class ModalWatch {
  public:
    explicit ModalWatch(std::function<bool(QWidget&)> match) : match_(std::move(match)) {
        timer_.callOnTimeout([this] {
            QWidget* window = QApplication::activeModalWidget();
            if (window == nullptr || !match_(*window)) return;
            seen_ = true;
            window->close();
        });
        timer_.start(5);
    }
    bool Seen() const { return seen_; }

  private:
    std::function<bool(QWidget&)> match_;
    QTimer timer_;
    bool seen_ = false;
};

int CheckedRows(const QWidget& choice) {
    const QTreeWidget& list = List(choice);
    int checked = 0;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        checked += list.topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
    return checked;
}

class TablesDialogTest : public DialogTest {
  protected:
    // ShowTablesDlg with `script`, whose steps skip the progress windows.
    LONG ShowTables(ModalScript& script) {
        script.Skip(IsProgress);
        return Driver().Call("ShowTablesDlg");
    }
    // Opens and closes the dialog once, so that the table list comes from the cache afterwards.
    void CacheTheTableList() {
        ModalScript script;
        script.Then([](QWidget& dialog) { Click(dialog, "btnClose"); });
        ASSERT_EQ(ShowTables(script), 0);
    }
    std::uint64_t Writes() const { return line_->ExecutionCount(2, kWriteTableOpcode); }
    EmuCell Cell(std::uint8_t table, std::uint16_t row, std::uint8_t field) const {
        return line_->Model(2).tables.Cell(table, row, field);
    }

    TempDir dir_;
};

TEST_F(TablesDialogTest, RegisterThatCannotBeAskedReachesTheCallerAndNothingIsShown) {
    const ScopedEnv missing(PortVariable(1), "/nonexistent/tty");
    const ModalWatch any([](QWidget&) { return true; });
    EXPECT_EQ(Driver().Call("ShowTablesDlg"), -3);
    EXPECT_EQ(Driver().GetString("ResultDescription"),
              "Порт недоступен: COM1 = /nonexistent/tty (TESSEL_COM1)");
    EXPECT_FALSE(any.Seen());
}

// A register that refuses the status request: its own code and text, not the driver's catch-all -199.
TEST_F(TablesDialogTest, RegisterRefusingItsStatusGivesItsOwnCode) {
    ForwardingDriver driver(early_);
    driver.FailMethod(TesselDispId::GetECRStatus, 21, "Аппаратная ошибка");
    const ModalWatch any([](QWidget&) { return true; });
    std::string error;
    EXPECT_EQ(ModuleDialog("Tables", &driver, &error), 21);
    EXPECT_EQ(error, "Аппаратная ошибка");
    EXPECT_FALSE(any.Seen());
}

struct EditorCase {
    int table;
    const char* editor;
    const char* title;
    int columns;
    int rows;
    QString firstValue;
};

void PrintTo(const EditorCase& c, std::ostream* os) {
    *os << "table " << c.table;
}

class EditorChoiceTest : public TablesDialogTest, public ::testing::WithParamInterface<EditorCase> {};

TEST_P(EditorChoiceTest, OneRowOpensTheOneRowEditorAndMoreRowsTheGrid) {
    const EditorCase& c = GetParam();
    QStringList firstRow;
    int tables = 0;
    QString editor, title, firstValue, current;
    int columns = 0, rows = 0;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Таблицы");
            const QTreeWidget& list = List(dialog);
            tables = list.topLevelItemCount();
            for (int col = 0; col < 4 && tables > 0; ++col) firstRow << list.topLevelItem(0)->text(col);
            OpenTable(dialog, c.table);
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& window) {
            editor = window.objectName();
            title = window.windowTitle();
            const QTableWidget& grid = Grid(window);
            columns = grid.columnCount();
            rows = grid.rowCount();
            current = QString("%1,%2").arg(grid.currentRow()).arg(grid.currentColumn());
            firstValue = grid.item(grid.currentRow(), grid.currentColumn())->text();
            Click(window, "btnClose");
        });
    EXPECT_EQ(ShowTables(script), 0);
    EXPECT_EQ(tables, 6);
    EXPECT_EQ(firstRow, QStringList({"1", "Общие параметры", "1", "6"}));
    EXPECT_EQ(editor, c.editor);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(columns, c.columns);
    EXPECT_EQ(rows, c.rows);
    // The first value is the current cell; values are empty until read.
    EXPECT_EQ(current, c.editor == std::string("TfmVTable") ? "0,6" : "0,0");
    EXPECT_EQ(firstValue, c.firstValue);
}

INSTANTIATE_TEST_SUITE_P(Cases, EditorChoiceTest,
                         ::testing::Values(EditorCase{1, "TfmVTable", "Общие параметры", 7, 6, ""},
                                           EditorCase{2, "TfmTable", "Кассиры и администраторы", 2, 30, ""},
                                           EditorCase{3, "TfmTable", "Секции", 1, 16, ""}));

struct CommitCase {
    const char* name;
    int table;
    int row, column;  // in the grid
    QString text;
    QString message;  // a part of the message shown; empty: none
    std::uint8_t field;
    std::string stored;  // what the register then holds (number as text)
};

void PrintTo(const CommitCase& c, std::ostream* os) {
    *os << c.name;
}

class TableCommitTest : public TablesDialogTest, public ::testing::WithParamInterface<CommitCase> {};

// Enter commits the current cell: the model's check first (nothing is sent when it fails), then the
// register; a refused cell shows the value the register holds.
TEST_P(TableCommitTest, EnterCommitsTheCurrentCell) {
    const CommitCase& c = GetParam();
    const std::uint16_t tableRow = c.table == 1 ? 1 : static_cast<std::uint16_t>(c.row + 1);
    const EmuCell before = Cell(static_cast<std::uint8_t>(c.table), tableRow, c.field);
    const std::uint64_t writesBefore = Writes();
    QString message, shown;
    bool committed = false;
    ModalScript script;
    script.Then(OpenOnly(c.table)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        // The register's values first: the one-row editor reads them all (which moves the current line
        // along), the grid the row of the cell.
        if (c.table == 1) Click(editor, "btnReadAll");
        grid.setCurrentCell(c.row, c.column);
        if (c.table != 1) Click(editor, "btnReadRow");
        TypeIntoCell(grid, c.text);
        QTest::keyClick(&CellEditor(grid), Qt::Key_Return);
        committed =
            WaitFor([&] { return c.message.isEmpty() ? Writes() > writesBefore : !message.isEmpty(); });
        QTest::qWait(50);
        shown = grid.item(c.row, c.column)->text();
        Click(editor, "btnClose");
    });
    if (!c.message.isEmpty()) {
        script.Then([&](QWidget& box) {
            EXPECT_EQ(box.windowTitle(), "Драйвер ККМ");
            message = TakeMessage(box);
        });
    }
    ShowTables(script);
    EXPECT_TRUE(committed);
    const EmuCell after = Cell(static_cast<std::uint8_t>(c.table), tableRow, c.field);
    if (c.message.isEmpty()) {
        EXPECT_EQ(shown, c.text);
        EXPECT_EQ(after.text.empty() ? std::to_string(after.number) : after.text, c.stored);
    } else {
        EXPECT_TRUE(message.contains(c.message)) << message.toStdString();
        EXPECT_EQ(after, before);
        const std::string kept = before.text.empty() ? std::to_string(before.number) : before.text;
        EXPECT_EQ(shown.toStdString(), kept);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableCommitTest,
    ::testing::Values(
        CommitCase{"LettersInANumber", 2, 0, 0, "12a", "\"12a\" не является целым числом.", 1, ""},
        CommitCase{"NumberOutOfRange", 2, 0, 0, "100000000",
                   "Значения поля должны находиться в диапазоне 0..99999999.", 1, ""},
        CommitCase{"Text", 2, 1, 1, "Петров", "", 2, "Петров"},
        CommitCase{"RefusedByTheRegister", 3, 0, 0, "Хлебобулочные изделия", "Неверное значение", 1, ""},
        CommitCase{"OneRowNumberOutOfRange", 1, 0, 6, "0", "диапазоне 1..99", 1, ""},
        CommitCase{"OneRowNumber", 1, 0, 6, "42", "", 1, "42"}),
    [](const ::testing::TestParamInfo<CommitCase>& info) { return std::string(info.param.name); });

struct DriverFailureCase {
    LONG code;
    bool shown;
};

void PrintTo(const DriverFailureCase& c, std::ostream* os) {
    *os << "code " << c.code;
}

class TableDriverFailureTest : public TablesDialogTest,
                               public ::testing::WithParamInterface<DriverFailureCase> {};

// A driver error -5 (the user broke the driver's work off) is not shown; the cell keeps the model's value.
TEST_P(TableDriverFailureTest, FailedWriteShowsItsErrorButMinus5) {
    ForwardingDriver driver(early_);
    driver.FailMethod(TesselDispId::WriteTable, GetParam().code, "Отказ драйвера");
    bool boxShown = false;
    QString shown;
    ModalScript script;
    script.Skip(IsProgress).Then(OpenOnly(2)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        grid.setCurrentCell(0, 1);
        Click(editor, "btnReadRow");
        TypeIntoCell(grid, "Петров");
        QTest::keyClick(&CellEditor(grid), Qt::Key_Return);
        WaitFor([&] { return driver.Calls(TesselDispId::WriteTable) == 1; });
        WaitFor([&] { return boxShown; }, 300);
        shown = grid.item(0, 1)->text();
        Click(editor, "btnClose");
    });
    if (GetParam().shown) script.Then([&](QWidget& box) { boxShown = TakeMessage(box) == "Отказ драйвера"; });
    EXPECT_EQ(ModuleDialog("Tables", &driver), 0);
    EXPECT_EQ(boxShown, GetParam().shown);
    EXPECT_EQ(shown, "Кассир 1");
    EXPECT_EQ(Cell(2, 1, 2).text, "Кассир 1");
}

INSTANTIATE_TEST_SUITE_P(Cases, TableDriverFailureTest,
                         ::testing::Values(DriverFailureCase{-5, false}, DriverFailureCase{-1, true}));

TEST_F(TablesDialogTest, GridCommitsTheCellLeftAndShowsTheHintOfTheCellReached) {
    const std::uint64_t writesBefore = Writes();
    QString hintName, hintPassword, afterClear, afterReadRow;
    std::uint64_t writesAfterClear = 0;
    ModalScript script;
    script.Then(OpenOnly(2)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        auto& status = Child<QStatusBar>(editor, "StatusBar");
        grid.setCurrentCell(2, 1);
        TypeIntoCell(grid, "Сидоров");
        grid.setCurrentCell(3, 0);  // leaves the edited cell
        WaitFor([&] { return Writes() > writesBefore; });
        hintPassword = status.currentMessage();
        grid.setCurrentCell(3, 1);
        WaitFor([&] { return status.currentMessage() != hintPassword; });
        hintName = status.currentMessage();
        Click(editor, "btnClear");
        afterClear = grid.item(2, 1)->text();
        writesAfterClear = Writes();
        grid.setCurrentCell(2, 1);
        Click(editor, "btnReadRow");
        afterReadRow = grid.item(2, 1)->text();
        Click(editor, "btnClose");
    });
    ShowTables(script);
    EXPECT_EQ(Cell(2, 3, 2).text, "Сидоров");
    EXPECT_EQ(hintPassword, "Число 0..99999999");
    EXPECT_EQ(hintName, "Строка до 21 символов");
    EXPECT_EQ(afterClear, "");
    EXPECT_EQ(writesAfterClear, Writes());  // "Очистить" sends nothing
    EXPECT_EQ(afterReadRow, "Сидоров");
}

// Esc takes the typed text back and closes the editor; Enter on the grid still writes the current cell.
TEST_F(TablesDialogTest, EnterWithTheEditorClosedWritesTheCellAsItStands) {
    const std::uint64_t writesBefore = Writes();
    bool written = false;
    ModalScript script;
    script.Then(OpenOnly(2)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        grid.setCurrentCell(0, 1);
        Click(editor, "btnReadRow");
        TypeIntoCell(grid, "Петров");
        QTest::keyClick(&CellEditor(grid), Qt::Key_Escape);
        QTest::keyClick(&grid, Qt::Key_Return);
        written = WaitFor([&] { return Writes() > writesBefore; });
        Click(editor, "btnClose");
    });
    ShowTables(script);
    EXPECT_TRUE(written);
    EXPECT_EQ(Cell(2, 1, 2).text, "Кассир 1");
}

TEST_F(TablesDialogTest, OneRowEditorWritesAndReadsTheCurrentField) {
    QString read;
    ModalScript script;
    script.Then(OpenOnly(1)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        EXPECT_EQ(grid.item(1, 2)->text(), "Автоматическое обнуление");
        EXPECT_EQ(grid.item(1, 3)->text(), "число");
        grid.setCurrentCell(5, 6);
        TypeIntoCell(grid, "25");
        Click(editor, "btnWriteField");  // no Enter: the button writes what the cell shows
        line_->UpdateModel(2, [](EmuRegisterModel& m) { m.tables.Write(1, 1, 4, 0, "0"); });
        grid.setCurrentCell(3, 6);
        Click(editor, "btnReadField");
        read = grid.item(3, 6)->text();
        // Only the value column can be current.
        grid.setCurrentCell(2, 2);
        EXPECT_EQ(grid.currentColumn(), 6);
        Click(editor, "btnClose");
    });
    ShowTables(script);
    EXPECT_EQ(Cell(1, 1, 6).number, 25);
    EXPECT_EQ(read, "0");
}

struct NothingCheckedCase {
    const char* name;
    const char* button;
};

void PrintTo(const NothingCheckedCase& c, std::ostream* os) {
    *os << c.name;
}

class NothingCheckedTest : public TablesDialogTest,
                           public ::testing::WithParamInterface<NothingCheckedCase> {};

TEST_P(NothingCheckedTest, SaveShowsNoFileDialog) {
    const ModalWatch files([](QWidget& w) { return qobject_cast<QFileDialog*>(&w) != nullptr; });
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnSave");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& choice) {
            EXPECT_EQ(choice.windowTitle(), "Выбор таблиц");
            EXPECT_EQ(CheckedRows(choice), 6);
            Click(choice, "btnClearAll");
            EXPECT_EQ(CheckedRows(choice), 0);
            Click(choice, GetParam().button);
        });
    ShowTables(script);
    EXPECT_FALSE(files.Seen());
}

INSTANTIATE_TEST_SUITE_P(Cases, NothingCheckedTest,
                         ::testing::Values(NothingCheckedCase{"NothingChecked", "btnOK"},
                                           NothingCheckedCase{"Cancelled", "btnCancel"}),
                         [](const ::testing::TestParamInfo<NothingCheckedCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(TablesDialogTest, FileMatchingNoTableShowsTheChoiceWithNothingCheckedAndWritesNothing) {
    const std::string path = dir_.File("other.xch");
    std::ofstream(path, std::ios::binary) << "[Other]\r\n0001.01=5\r\n\r\n";
    const std::uint64_t writesBefore = Writes();
    QStringList filters;
    QString suffix, folder;
    int checked = -1;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnLoad");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& files) {
            auto& dialog = dynamic_cast<QFileDialog&>(files);
            filters = dialog.nameFilters();
            suffix = dialog.defaultSuffix();
            folder = dialog.directory().absolutePath();
            PickFile(files, path);
        })
        .Then([&](QWidget& choice) {
            checked = CheckedRows(choice);
            Click(choice, "btnOK");
        });
    ShowTables(script);
    EXPECT_EQ(filters, QStringList({"Файлы экспорта/импорта (*.xch)", "Все файлы (*.*)"}));
    EXPECT_EQ(suffix, "xch");
    // The folder of the test program, which can be written.
    EXPECT_EQ(folder, QCoreApplication::applicationDirPath());
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(Writes(), writesBefore);
}

// Checks only the rows of the choice whose names are in `names`.
void CheckOnly(QWidget& choice, const QStringList& names) {
    Click(choice, "btnClearAll");
    QTreeWidget& list = List(choice);
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (names.contains(list.topLevelItem(i)->text(0)))
            list.topLevelItem(i)->setCheckState(0, Qt::Checked);
}

// Save two tables, spoil both in the register, load the file with only one of them chosen: that one is back
// as it was, the other stays spoilt.
TEST_F(TablesDialogTest, SaveAndLoadRoundTripWritesTheChosenTablesBack) {
    const std::string backup = dir_.File("backup");
    int inFile = -1;
    QString report;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnSave");
            line_->UpdateModel(2, [](EmuRegisterModel& m) {
                m.tables.Write(3, 1, 1, 1, "Мусор");
                m.tables.Write(4, 1, 2, 1, "Чужой");
            });
            Click(dialog, "btnLoad");
            Click(dialog, "btnClose");
        })
        .Then([](QWidget& choice) {
            CheckOnly(choice, {"Секции", "Налоги"});
            Click(choice, "btnOK");
        })
        .Then([&](QWidget& files) {
            EXPECT_EQ(files.objectName(), "SaveDialog");
            PickFile(files, backup);  // the dialog adds ".xch"
        })
        .Then([&](QWidget& files) {
            EXPECT_EQ(files.objectName(), "OpenDialog");
            PickFile(files, backup + ".xch");
        })
        .Then([&](QWidget& choice) {
            inFile = CheckedRows(choice);  // the tables the file holds
            CheckOnly(choice, {"Секции"});
            Click(choice, "btnOK");
        })
        .Then([&](QWidget& box) { report = TakeMessage(box); });
    ShowTables(script);
    EXPECT_EQ(report, "Записано значений полей: 16.");
    std::ifstream file(backup + ".xch", std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    const std::string text = tessel::Cp1251ToUtf8(bytes.str());
    EXPECT_NE(text.find("[Секции]\r\n0001.01=Секция 1\r\n0002.01=Секция 2\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Налоги]\r\n0001.01=1800\r\n0001.02=НДС 18%\r\n"), std::string::npos) << text;
    EXPECT_EQ(inFile, 2);
    EXPECT_EQ(Cell(3, 1, 1).text, "Секция 1");
    EXPECT_EQ(Cell(4, 1, 2).text, "Чужой");
}

// Two tables whose names differ only in a line break fall into one section of the file: the second is left
// out, and the message names it although no written table has its name.
TEST_F(TablesDialogTest, SaveNamesATableLeftOutOfTheFile) {
    CacheTheTableList();
    tessel::Registry cache;
    ASSERT_TRUE(cache.OpenKey(kTableDefsKey, false));
    const std::vector<std::string> devices = cache.GetKeyNames();
    ASSERT_EQ(devices.size(), 1u);
    tessel::Registry taxes;
    ASSERT_TRUE(taxes.OpenKey(std::string(kTableDefsKey) + "\\" + devices[0] + "\\4", false));
    const QString twin = "Кассиры и\nадминистраторы";
    taxes.WriteString("TableName", twin.toStdString());
    QString message;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnSave");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& choice) {
            CheckOnly(choice, {"Кассиры и администраторы", twin});
            Click(choice, "btnOK");
        })
        .Then([&](QWidget& files) { PickFile(files, dir_.File("twins.xch")); })
        .Then([&](QWidget& box) { message = TakeMessage(box); });
    ShowTables(script);
    EXPECT_EQ(message, "Таблица \"" + twin + "\" не сохранена: в файле её не отличить от другой таблицы.");
}

// Each load starts from a clear choice: cells an earlier load marked, and the user did not write, are not
// written by a later one; and the load says what it wrote and what it passed over.
TEST_F(TablesDialogTest, LoadWritesOnlyItsOwnFileAndSaysWhatItDid) {
    const std::string first = dir_.File("first.xch");
    const std::string second = dir_.File("second.xch");
    std::ofstream(first, std::ios::binary) << tessel::Utf8ToCp1251("[Секции]\r\n0001.01=Мусор\r\n");
    std::ofstream(second, std::ios::binary)
        << tessel::Utf8ToCp1251("[Налоги]\r\n0001.01=1900\r\nлишняя строка\r\n0002.01=12a\r\n");
    QString report;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnLoad");  // the first file, its choice cancelled
            Click(dialog, "btnLoad");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& files) { PickFile(files, first); })
        .Then([](QWidget& choice) { Click(choice, "btnCancel"); })
        .Then([&](QWidget& files) { PickFile(files, second); })
        .Then([](QWidget& choice) {
            Click(choice, "btnSelAll");
            Click(choice, "btnOK");
        })
        .Then([&](QWidget& box) { report = TakeMessage(box); });
    ShowTables(script);
    EXPECT_EQ(Cell(3, 1, 1).text, "Секция 1");
    EXPECT_EQ(Cell(4, 1, 1).number, 1900);
    EXPECT_EQ(report,
              "Записано значений полей: 1.\nНе записаны недопустимые числа: 1.\n"
              "Пропущены строки файла без знака \"=\": 3.");
}

struct PendingEditCase {
    const char* name;
    std::function<void(QWidget& editor)> act;
    QMessageBox::StandardButton answer;
    bool written;
    bool closed;
};

void PrintTo(const PendingEditCase& c, std::ostream* os) {
    *os << c.name;
}

class PendingEditTest : public TablesDialogTest, public ::testing::WithParamInterface<PendingEditCase> {};

// A value typed into a cell and not written yet is not lost to "Закрыть", Esc, "Прочитать все" or
// "Очистить": the editor asks, Yes writes it, No drops it, Cancel keeps it and does nothing.
TEST_P(PendingEditTest, TypedValueIsWrittenOnlyWhenTheUserSaysSo) {
    const PendingEditCase& c = GetParam();
    QString question, kept, firstField;
    bool closed = false;
    ModalScript script;
    script.Then(OpenOnly(2)).Then([&](QWidget& editor) {
        QTableWidget& grid = Grid(editor);
        grid.setCurrentCell(0, 1);
        TypeIntoCell(grid, "Петров");
        c.act(editor);
        closed = !editor.isVisible();
        if (closed) return;
        // The current cell, as its editor shows it when the editor is open.
        kept = grid.item(0, 1)->text();
        for (const QLineEdit* open : grid.viewport()->findChildren<QLineEdit*>())
            if (open->isVisible()) kept = open->text();
        firstField = grid.item(0, 0)->text();
        Click(editor, "btnClose");
    });
    script.Then([&](QWidget& box) {
        auto& ask = dynamic_cast<QMessageBox&>(box);
        question = ask.text();
        QTest::mouseClick(ask.button(c.answer), Qt::LeftButton);
    });
    // A cancelled question leaves the text, which "Закрыть" asks about again.
    if (c.answer == QMessageBox::Cancel) {
        script.Then([](QWidget& box) {
            QTest::mouseClick(dynamic_cast<QMessageBox&>(box).button(QMessageBox::No), Qt::LeftButton);
        });
    }
    ShowTables(script);
    EXPECT_EQ(question, "Поле \"Имя\" (ряд 1) изменено.\nЗаписать новое значение ?");
    EXPECT_EQ(Cell(2, 1, 2).text, c.written ? "Петров" : "Кассир 1");
    EXPECT_EQ(closed, c.closed);
    if (c.answer == QMessageBox::Cancel) {
        // Nothing was done: the text is still there, and nothing was read.
        EXPECT_EQ(kept, "Петров");
        EXPECT_EQ(firstField, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PendingEditTest,
    ::testing::Values(
        PendingEditCase{"CloseYes", [](QWidget& e) { Click(e, "btnClose"); }, QMessageBox::Yes, true, true},
        PendingEditCase{"EscapeNo",
                        [](QWidget& e) {
                            Child(e, "btnReadRow").setFocus();  // the editor gives its text to the grid
                            QTest::keyClick(&e, Qt::Key_Escape);
                        },
                        QMessageBox::No, false, true},
        PendingEditCase{"ReadAllCancel", [](QWidget& e) { Click(e, "btnReadAll"); }, QMessageBox::Cancel,
                        false, false},
        PendingEditCase{"ClearYes", [](QWidget& e) { Click(e, "btnClear"); }, QMessageBox::Yes, true, false}),
    [](const ::testing::TestParamInfo<PendingEditCase>& info) { return std::string(info.param.name); });

TEST_F(TablesDialogTest, AbortedRefreshKeepsTheTablesReadSoFar) {
    CacheTheTableList();
    line_->SetAnswerDelay(120);
    QString question;
    int rows = -1;
    ModalScript script;  // the progress window is driven here
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnRefresh");
            rows = List(dialog).topLevelItemCount();
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& progress) {
            EXPECT_EQ(progress.windowTitle(), "Чтение структуры таблиц...");
            const QString read = "Прочитано таблиц: ";
            WaitFor([&] {
                const QString text = Child<QLabel>(progress, "lblInfo").text();
                return text.startsWith(read) && text.mid(read.size()).toInt() >= 2;
            });
            Click(progress, "btnCancel");
        })
        .Then([&](QWidget& box) {
            auto& abort = dynamic_cast<QMessageBox&>(box);
            question = abort.text();
            QTest::mouseClick(abort.button(QMessageBox::Yes), Qt::LeftButton);
        });
    EXPECT_EQ(Driver().Call("ShowTablesDlg"), 0);
    EXPECT_EQ(question, "Прервать выполнение ?");
    EXPECT_GE(rows, 2);
    EXPECT_LT(rows, 6);
}

struct ContinueCase {
    QMessageBox::StandardButton answer;
    QString lastValue;
};

void PrintTo(const ContinueCase& c, std::ostream* os) {
    *os << (c.answer == QMessageBox::Yes ? "Yes" : "No");
}

class ReadAllQuestionTest : public TablesDialogTest, public ::testing::WithParamInterface<ContinueCase> {};

// A cell that fails to read asks whether to go on: Yes reads it again and the rest, No ends the read.
TEST_P(ReadAllQuestionTest, FailedCellAsksWhetherToGoOn) {
    Driver().PutLong("RepCount", 1);
    QString question, last;
    int currentRow = -1;
    ModalScript script;
    script.Skip(IsProgress)
        .Then(OpenOnly(3))
        .Then([&](QWidget& editor) {
            line_->DropAnswer(line_->AnswerCount() + 3);
            Click(editor, "btnReadAll");
            last = Grid(editor).item(15, 0)->text();
            currentRow = Grid(editor).currentRow();
            Click(editor, "btnClose");
        })
        .Then([&](QWidget& box) {
            auto& ask = dynamic_cast<QMessageBox&>(box);
            question = ask.text();
            QTest::mouseClick(ask.button(GetParam().answer), Qt::LeftButton);
        });
    ShowTables(script);
    EXPECT_TRUE(question.startsWith("Ошибка: (")) << question.toStdString();
    EXPECT_TRUE(question.endsWith("\nПродолжить выполнение ?")) << question.toStdString();
    EXPECT_EQ(last, GetParam().lastValue);
    // The grid followed the read.
    EXPECT_EQ(currentRow, GetParam().answer == QMessageBox::Yes ? 15 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadAllQuestionTest,
                         ::testing::Values(ContinueCase{QMessageBox::Yes, "Секция 16"},
                                           ContinueCase{QMessageBox::No, ""}));

}  // namespace
}  // namespace tessel_test
