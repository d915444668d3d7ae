// The status, service, log and about dialogs, opened by the driver's own members.
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimeEdit>

#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

using DriverDialogsTest = DialogTest;

QStringList MemoLines(QWidget& dialog) {
    return Child<QPlainTextEdit>(dialog, "Memo").toPlainText().split('\n', Qt::SkipEmptyParts);
}

struct StatusCase {
    const char* button;
    int lines;
    const char* firstLine;
    const char* lastLine;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.button;
}

class StatusTest : public DriverDialogsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTest, LinesLineUpTheirColons) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        m.clock = EmuDateTime{15, 3, 24, 9, 5, 7};
        m.eklzNumber = 1234567890;
    });
    QStringList lines;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Состояние ККМ и ФП");
        Click(dialog, GetParam().button);
        lines = MemoLines(dialog);
        Click(dialog, "btnOK");
    });
    EXPECT_EQ(Driver().Call("ShowStatusDlg"), 0);
    ASSERT_EQ(lines.size(), GetParam().lines);
    EXPECT_EQ(lines.front().toStdString(), GetParam().firstLine);
    EXPECT_EQ(lines.back().toStdString(), GetParam().lastLine);
    for (const QString& line : lines)
        EXPECT_EQ(line.indexOf(" : "), lines.front().indexOf(" : ")) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusTest,
                         ::testing::Values(StatusCase{"btnECRStatus", 11, "Номер оператора : 1",
                                                      "Время ККМ       : 09:05:07"},
                                           StatusCase{"btnFMStatus", 11, "Версия ПО ФП               : 1.02",
                                                      "Регистрационный номер ЭКЛЗ : 1234567890"}));

TEST_F(DriverDialogsTest, ClockLinesUseTheShortFormats) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.clock = EmuDateTime{15, 3, 24, 9, 5, 7}; });
    QStringList lines;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Click(dialog, "btnECRStatus");
        lines = MemoLines(dialog);
        Click(dialog, "btnOK");
    });
    Driver().Call("ShowStatusDlg");
    EXPECT_TRUE(lines.contains("Дата ПО ККМ     : 01.06.2005"));
    EXPECT_TRUE(lines.contains("Дата ККМ        : 15.03.2024"));
}

TEST_F(DriverDialogsTest, FailingDeviceMetricsLeavesTheStatusEmptyAndShowsTheError) {
    Driver().PutLong("RepCount", 1);
    QString error;
    bool emptyWithBox = false;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            // The status answer goes out, the device metrics answer after it is lost.
            line_->DropAnswer(line_->AnswerCount() + 2);
            Click(dialog, "btnECRStatus");
            emptyWithBox = MemoLines(dialog).isEmpty();
            EXPECT_TRUE(dialog.isVisible());
            Click(dialog, "btnOK");
        })
        .Then([&](QWidget& box) {
            EXPECT_EQ(box.windowTitle(), "Драйвер ККМ");
            error = TakeMessage(box);
        });
    EXPECT_EQ(Driver().Call("ShowStatusDlg"), 0);
    EXPECT_TRUE(emptyWithBox);
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(DriverDialogsTest, ServicePickersStartAtNowAndFromPcSendsNothing) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.clock = EmuDateTime{15, 3, 24, 9, 5, 7}; });
    QDateTime opened, fromEcr, fromPc;
    std::uint64_t answersBefore = 0, answersAfter = 0;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Управление ККМ");
        auto& date = Child<QDateEdit>(dialog, "dtpDate");
        auto& time = Child<QTimeEdit>(dialog, "dtpTime");
        opened = QDateTime(date.date(), time.time());
        Click(dialog, "btnFromECR");
        fromEcr = QDateTime(date.date(), time.time());
        answersBefore = line_->AnswerCount();
        Click(dialog, "btnFromPC");
        answersAfter = line_->AnswerCount();
        fromPc = QDateTime(date.date(), time.time());
        Click(dialog, "btnClose");
    });
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(Driver().Call("ShowServiceDlg"), 0);
    EXPECT_LE(std::abs(opened.secsTo(now)), 5);
    EXPECT_EQ(fromEcr, QDateTime(QDate(2024, 3, 15), QTime(9, 5, 7)));
    EXPECT_EQ(answersAfter, answersBefore);
    EXPECT_LE(std::abs(fromPc.secsTo(QDateTime::currentDateTime())), 5);
}

TEST_F(DriverDialogsTest, ServiceSetsTheRegisterClock) {
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        Child<QDateEdit>(dialog, "dtpDate").setDate(QDate(2025, 12, 31));
        Child<QTimeEdit>(dialog, "dtpTime").setTime(QTime(23, 58, 1));
        Click(dialog, "btnSetDate");
        Click(dialog, "btnSetTime");
        Click(dialog, "btnClose");
    });
    EXPECT_EQ(Driver().Call("ShowServiceDlg"), 0);
    ASSERT_EQ(Driver().Call("GetECRStatus"), 0);
    EXPECT_EQ(Driver().GetLong("ECRDay"), 31);
    EXPECT_EQ(Driver().GetLong("ECRMonth"), 12);
    EXPECT_EQ(Driver().GetLong("ECRYear"), 25);
    EXPECT_EQ(Driver().GetLong("ECRHour"), 23);
    EXPECT_EQ(Driver().GetLong("ECRMin"), 58);
}

// The pickers follow the clock until the user edits one; "Установить время" then sends what was typed.
TEST_F(DriverDialogsTest, ServicePickersFollowTheClockUntilEdited) {
    QTime opened, typed, later;
    bool moved = false;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        auto& time = Child<QTimeEdit>(dialog, "dtpTime");
        opened = time.time();
        moved = WaitFor([&] { return time.time() != opened; }, 3000);
        time.setFocus();
        time.setSelectedSection(QDateTimeEdit::HourSection);
        QTest::keyClicks(&time, "07");
        typed = time.time();
        QTest::qWait(1200);
        later = time.time();
        Click(dialog, "btnSetTime");
        Click(dialog, "btnClose");
    });
    EXPECT_EQ(Driver().Call("ShowServiceDlg"), 0);
    EXPECT_TRUE(moved);
    EXPECT_EQ(typed.hour(), 7);
    EXPECT_EQ(later, typed);
    ASSERT_EQ(Driver().Call("GetECRStatus"), 0);
    EXPECT_EQ(Driver().GetLong("ECRHour"), 7);
}

struct InitTablesCase {
    bool portWorks;
    bool errorShown;
};

void PrintTo(const InitTablesCase& c, std::ostream* os) {
    *os << (c.portWorks ? "port works" : "port missing");
}

class InitTablesTest : public DriverDialogsTest, public ::testing::WithParamInterface<InitTablesCase> {};

TEST_P(InitTablesTest, TimeoutIsRestoredInEveryCase) {
    std::unique_ptr<ScopedEnv> missing;
    if (!GetParam().portWorks) missing = std::make_unique<ScopedEnv>(PortVariable(1), "/nonexistent/tty");
    Driver().PutLong("Timeout", 700);
    bool errorShown = false;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        if (!GetParam().portWorks) {
            ModalScript box;
            box.Then([&](QWidget& message) { errorShown = !TakeMessage(message).isEmpty(); });
            Click(dialog, "btnInitTables");
        } else {
            Click(dialog, "btnInitTables");
        }
        Click(dialog, "btnClose");
    });
    EXPECT_EQ(Driver().Call("ShowServiceDlg"), 0);
    EXPECT_EQ(Driver().GetLong("Timeout"), 700);
    EXPECT_EQ(errorShown, GetParam().errorShown);
}

INSTANTIATE_TEST_SUITE_P(Cases, InitTablesTest,
                         ::testing::Values(InitTablesCase{true, false}, InitTablesCase{false, true}));

TEST_F(DriverDialogsTest, ServiceOpensTheStatusDialogOverItself) {
    QString owner;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnGetStatus");
            Click(dialog, "btnClose");
        })
        .Then([&](QWidget& status) {
            owner = status.parentWidget() != nullptr ? status.parentWidget()->windowTitle() : QString();
            Click(status, "btnOK");
        });
    EXPECT_EQ(Driver().Call("ShowServiceDlg"), 0);
    EXPECT_EQ(owner, "Управление ККМ");
}

struct LogCase {
    const char* close;
    bool written;
};

void PrintTo(const LogCase& c, std::ostream* os) {
    *os << c.close;
}

class LogTest : public DriverDialogsTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogTest, OkWritesBothValuesAndCancelNothing) {
    const std::string before = InstalledDriver::Get().Folder() + "/before.log";
    const std::string chosen = InstalledDriver::Get().Folder() + "/chosen.log";
    Driver().PutString("LogFileName", before);
    Driver().PutBool("LogEnabled", false);
    QString shown;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Параметры лога");
        shown = Child<QLineEdit>(dialog, "edtFileName").text();
        Click(dialog, "chbLogEnabled");
        auto& name = Child<QLineEdit>(dialog, "edtFileName");
        name.selectAll();
        TypeText(name, QString::fromStdString(chosen));
        Click(dialog, GetParam().close);
    });
    EXPECT_EQ(Driver().Call("ShowLogDlg"), 0);
    EXPECT_EQ(shown.toStdString(), before);
    EXPECT_EQ(Driver().GetBool("LogEnabled"), GetParam().written);
    EXPECT_EQ(Driver().GetString("LogFileName"), GetParam().written ? chosen : before);
    Driver().PutBool("LogEnabled", false);
}

INSTANTIATE_TEST_SUITE_P(Cases, LogTest,
                         ::testing::Values(LogCase{"btnOK", true}, LogCase{"btnCancel", false}));

// A log file that cannot be written is refused where the user sees it: the dialog says why and stays open.
TEST_F(DriverDialogsTest, LogFileThatCannotBeWrittenIsRefused) {
    const std::string before = InstalledDriver::Get().Folder() + "/before.log";
    Driver().PutString("LogFileName", before);
    QString message;
    bool stillOpen = false;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            auto& name = Child<QLineEdit>(dialog, "edtFileName");
            name.selectAll();
            TypeText(name, "/nonexistent/folder/tessel.log");
            Click(dialog, "btnOK");
            stillOpen = dialog.isVisible();
            Click(dialog, "btnCancel");
        })
        .Then([&](QWidget& box) { message = TakeMessage(box); });
    EXPECT_EQ(Driver().Call("ShowLogDlg"), 0);
    EXPECT_EQ(message,
              "Лог-файл не может быть записан: /nonexistent/folder/tessel.log (нет папки "
              "/nonexistent/folder)");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Driver().GetString("LogFileName"), before);
}

TEST_F(DriverDialogsTest, LogFileDialogOffersLogFilesAndReplacesTheName) {
    const std::string chosen = InstalledDriver::Get().Folder() + "/picked.log";
    QStringList filters;
    QString field;
    ModalScript script;
    script
        .Then([&](QWidget& dialog) {
            Click(dialog, "btnFileName");
            field = Child<QLineEdit>(dialog, "edtFileName").text();
            Click(dialog, "btnCancel");
        })
        .Then([&](QWidget& window) {
            auto* files = qobject_cast<QFileDialog*>(&window);
            ASSERT_NE(files, nullptr);
            filters = files->nameFilters();
            // selectFile clears the list's selection, which would win over a typed name, but leaves the name
            // field alone once the field has the focus (as it has when the window was activated in time): the
            // name is typed in, as a user does.
            files->selectFile(QString::fromStdString(chosen));
            auto& name = Child<QLineEdit>(window, "fileNameEdit");
            name.setText(QFileInfo(QString::fromStdString(chosen)).fileName());
            QTest::keyClick(&name, Qt::Key_Return);
        });
    Driver().Call("ShowLogDlg");
    EXPECT_EQ(filters, QStringList({"Лог-файлы (*.log)", "Все файлы (*.*)"}));
    EXPECT_EQ(field.toStdString(), chosen);
}

TEST_F(DriverDialogsTest, AboutBoxNamesTheDriverAndItsVersion) {
    QString name, version;
    ModalScript script;
    script.Then([&](QWidget& box) {
        name = Child<QLabel>(box, "lblName").text();
        version = Child<QLabel>(box, "lblVersion").text();
        Click(box, "btnOK");
    });
    ASSERT_EQ(Early()->AboutBox(), S_OK);
    EXPECT_EQ(name, "Драйвер ККМ");
    EXPECT_EQ(version.toStdString(), "Версия драйвера: " + Driver().GetString("Version"));
}

}  // namespace
}  // namespace tessel_test
