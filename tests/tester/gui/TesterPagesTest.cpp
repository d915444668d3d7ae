// The driver test program's pages, driven with the mouse and keyboard against the driver and the emulator.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>
#include <ctime>

#include <poll.h>

#include "common/platform/AtomicFile.h"
#include "common/platform/MessageQueue.h"
#include "driver/commands/untSaleCommands.h"
#include "support/TempDir.h"
#include "tester/gui/FaultyDispatch.h"
#include "tester/gui/TesterFixture.h"
#include "tools/tester/fmuDumpPage.h"
#include "tools/tester/fmuDumpView.h"
#include "tools/tester/fmuReceiptsPage.h"
#include "tools/tester/fmuRestPage.h"
#include "tools/testerlib/untCmdValue.h"

namespace tessel_test {
namespace {

using namespace tessel::tst;

QStringList Lines(const QString& text) {
    return text.isEmpty() ? QStringList() : text.split('\n');
}

void SetNumber(QWidget& page, const char* name, int value) {
    auto& edit = Child<QSpinBox>(page, name);
    edit.selectAll();
    QTest::keyClicks(&edit, QString::number(value));
}

// ---- "Состояние" ----

TEST_F(TesterTest, StatusListsTheRegistersAndTheFiscalMemorysValues) {
    QWidget& page = Page("Состояние");
    Click(page, "btnEcr");
    ASSERT_TRUE(WaitForButton(page, "btnEcr", "ККМ"));
    const QStringList ecr = Lines(Text(page, "memInfo"));
    ASSERT_EQ(ecr.size(), 11);
    EXPECT_EQ(ecr[1], "Версия ПО ККМ   : 1.0");
    EXPECT_EQ(ecr[3], "Дата ПО ККМ     : 01.06.2005");
    EXPECT_EQ(ecr[6],
              "Режим ККМ       : " + QString::fromStdString(Driver().GetString("ECRModeDescription")));
    EXPECT_EQ(ecr[9], "Дата ККМ        : 15.03.2024");
    EXPECT_EQ(ecr[10], "Время ККМ       : 09:05:07");

    Click(page, "btnFM");
    ASSERT_TRUE(WaitForButton(page, "btnFM", "ФП"));
    const QStringList fm = Lines(Text(page, "memInfo"));
    ASSERT_EQ(fm.size(), 11);
    EXPECT_EQ(fm[2], "Заводской номер            : 12345678");
    EXPECT_EQ(fm[7], "ИНН                        : 771234567890");
    // The values line up after labels of one width.
    for (const QString& line : fm) EXPECT_EQ(line.indexOf(" : "), 26) << line.toStdString();
}

TEST_F(TesterTest, AFailingCallIsShownWithItsCodeAndThePageStops) {
    Driver().PutLong("RepCount", 1);
    line_->DropAnswer(line_->AnswerCount() + 1);
    QWidget& page = Page("Состояние");
    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(page, "btnEcr");
    ASSERT_TRUE(WaitForButton(page, "btnEcr", "ККМ"));
    EXPECT_TRUE(script.Done());
    const LONG code = Driver().GetLong("ResultCode");
    EXPECT_LT(code, 0);
    EXPECT_EQ(message.toStdString(),
              "(" + std::to_string(code) + ") " + Driver().GetString("ResultDescription"));
    EXPECT_EQ(Text(page, "memInfo"), "");
    EXPECT_TRUE(Child<QPushButton>(page, "btnFM").isEnabled());
}

// ---- "Дополнительно" ----

TEST_F(TesterTest, DateAndTimeGoToTheRegistersClock) {
    QWidget& page = Page("Дополнительно");
    Child<QDateEdit>(page, "dtpDate").setDate(QDate(2025, 4, 20));
    Click(page, "btnWriteDate");
    ASSERT_TRUE(WaitForButton(page, "btnWriteDate", "Записать"));
    EmuDateTime clock = line_->Model(2).ClockNow();
    EXPECT_EQ((std::tuple{clock.day, clock.month, clock.year}), (std::tuple{20, 4, 25}));

    Child<QTimeEdit>(page, "dtpTime").setTime(QTime(11, 22, 33));
    Click(page, "btnWriteTime");
    ASSERT_TRUE(WaitForButton(page, "btnWriteTime", "Записать"));
    clock = line_->Model(2).ClockNow();
    EXPECT_EQ(clock.hour * 3600 + clock.minute * 60 + clock.second, 11 * 3600 + 22 * 60 + 33 + 0)
        << "or a second on";

    Click(page, "btnComputerTime");
    ASSERT_TRUE(WaitForButton(page, "btnComputerTime", "Выполнить"));
    const std::time_t now = std::time(nullptr);
    clock = line_->Model(2).ClockAt(now);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ((std::tuple{clock.day, clock.month, clock.hour, clock.minute}),
              (std::tuple{local.tm_mday, local.tm_mon + 1, local.tm_hour, local.tm_min}));
}

TEST_F(TesterTest, TablesAreInitialisedAndTheTimeoutComesBack) {
    QWidget& page = Page("Дополнительно");
    Click(page, "btnInitTables");
    ASSERT_TRUE(WaitForButton(page, "btnInitTables", "Выполнить"));
    EXPECT_EQ(line_->ExecutionCount(2, 0x24), 1u);
    EXPECT_EQ(Driver().GetLong("Timeout"), 500);
}

// ---- "Значения регистров" ----

struct RegisterCase {
    const char* name;
    int kind;  // the list's index
    std::function<void(EmuRegisterModel&)> set;
    QStringList lines;
};

void PrintTo(const RegisterCase& c, std::ostream* os) {
    *os << c.name;
}

class RegisterValues : public TesterTest, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterValues, AreReadUntilTheRegisterHasNoMore) {
    const RegisterCase& c = GetParam();
    line_->UpdateModel(2, c.set);
    QWidget& page = Page("Значения регистров");
    Child<QComboBox>(page, "cbKind").setCurrentIndex(c.kind);
    NoModalWindows quiet;
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Начать"));
    EXPECT_EQ(Lines(Text(page, "memRegisters")), c.lines);
    EXPECT_EQ(Text(page, "lblCount"), QString("Прочитано: %1").arg(c.lines.size()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, RegisterValues,
                         ::testing::Values(RegisterCase{"NoRegisterAtAll",
                                                        0,
                                                        [](EmuRegisterModel& m) { m.cashRegisters.clear(); },
                                                        {}},
                                           // The model keeps money in hundredths.
                                           RegisterCase{"Cash",
                                                        0,
                                                        [](EmuRegisterModel& m) {
                                                            m.cashRegisters = {0, 1250, 1, 123456789};
                                                        },
                                                        {"00: 0", "01: 12.5", "02: 0.01", "03: 1234567.89"}},
                                           RegisterCase{"Operation",
                                                        1,
                                                        [](EmuRegisterModel& m) {
                                                            m.operationRegisters = {7, 65535};
                                                        },
                                                        {"00: 7", "01: 65535"}},
                                           RegisterCase{"Rest",
                                                        2,
                                                        [](EmuRegisterModel& m) {
                                                            m.restRegisters = {1500, -250, 0};
                                                        },
                                                        {"00: 1500", "01: -250", "02: 0"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TesterTest, RegisterReadingThatFailsOtherwiseKeepsItsLinesAndSaysWhy) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.cashRegisters = {1, 2, 3, 4}; });
    Driver().PutLong("RepCount", 1);
    QWidget& page = Page("Значения регистров");
    // Answers: 1 register 0, 2 register 1, 3 register 2 (lost).
    line_->DropAnswer(line_->AnswerCount() + 3);
    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Начать"));
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(message.startsWith("(-")) << message.toStdString();
    EXPECT_EQ(Lines(Text(page, "memRegisters")), (QStringList{"00: 0.01", "01: 0.02"}));
}

// ---- "Регистры остатков" ----

class RestTest : public TesterTest {
  protected:
    void SetUp() override {
        TesterTest::SetUp();
        line_->UpdateModel(2, [](EmuRegisterModel& m) {
            m.restRegisters[3] = 1500;
            m.restRegisters[4] = -250;
        });
        page_ = &Page("Регистры остатков");
    }
    QPlainTextEdit& Memo() { return Child<QPlainTextEdit>(*page_, "memLines"); }
    QWidget* page_ = nullptr;
};

TEST_F(RestTest, RangeIsReadIntoLines) {
    Click(*page_, "rbRange");
    SetNumber(*page_, "edFrom", 3);
    SetNumber(*page_, "edTo", 5);
    NoModalWindows quiet;
    Click(*page_, "btnRead");
    ASSERT_TRUE(WaitForButton(*page_, "btnRead", "Прочитать"));
    EXPECT_EQ(Lines(Memo().toPlainText()), (QStringList{"0003: 1.5", "0004: -0.25", "0005: 0"}));
}

TEST_F(RestTest, AllRegistersAreReadToTheLastQuietly) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.restRegisters.resize(12); });
    NoModalWindows quiet;
    Click(*page_, "btnRead");
    EXPECT_EQ(ButtonText(*page_, "btnRead"), "Прервать");
    ASSERT_TRUE(WaitForButton(*page_, "btnRead", "Прочитать"));
    const QStringList lines = Lines(Memo().toPlainText());
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[4], "0004: -0.25");
    EXPECT_EQ(lines.back(), "0011: 0");
    EXPECT_EQ(Child<QProgressBar>(*page_, "pbProgress").value(), 12);
}

TEST_F(RestTest, LinesAreWrittenAndSavedAndLoaded) {
    Memo().setFocus();
    for (const char* line : {"0010: 2.5", "0011: -1,0004"}) {
        TypeText(Memo(), line);
        QTest::keyClick(&Memo(), Qt::Key_Return);
    }
    NoModalWindows quiet;
    Click(*page_, "btnWrite");
    ASSERT_TRUE(WaitForButton(*page_, "btnWrite", "Записать"));
    const EmuRegisterModel model = line_->Model(2);
    EXPECT_EQ(model.restRegisters[10], 2500);
    EXPECT_EQ(model.restRegisters[11], -1000);

    TempDir dir;
    auto& rest = dynamic_cast<TfmRestPage&>(*page_);
    const QString file = QString::fromStdString(dir.File("rest.txt"));
    rest.SaveFile(file);
    Click(*page_, "btnClear");
    EXPECT_EQ(Memo().toPlainText(), "");
    rest.LoadFile(file);
    EXPECT_EQ(Memo().toPlainText(), "0010: 2.5\n0011: -1,0004\n");
}

TEST_F(RestTest, ABadLineStopsTheWritingBeforeAnythingIsWritten) {
    Memo().setPlainText("0010: 2.5\nдесять: 1\n");
    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(*page_, "btnWrite");
    EXPECT_EQ(message, "Неверная строка 2: «десять: 1»");
    EXPECT_EQ(line_->ExecutionCount(2, 0x1D), 0u);
}

// The register values page's worker and this page's steps both set RegisterNumber: each reads its own.
TEST_F(RestTest, TwoPagesReadingRegistersAtOnceEachGetTheirOwn) {
    QStringList cash, rest;
    line_->UpdateModel(2, [&](EmuRegisterModel& m) {
        m.cashRegisters.clear();
        m.restRegisters.clear();
        for (int i = 0; i < 30; ++i) {
            m.cashRegisters.push_back(100 * (i + 1));
            m.restRegisters.push_back(-1000 * (i + 1));
            cash << QString("%1: %2").arg(i, 2, 10, QChar('0')).arg(i + 1);
            rest << QString("%1: -%2").arg(i, 4, 10, QChar('0')).arg(i + 1);
        }
    });
    QWidget& values = Page("Значения регистров");
    NoModalWindows quiet;
    Click(values, "btnRead");
    Click(Page("Регистры остатков"), "btnRead");
    ASSERT_TRUE(WaitForButton(*page_, "btnRead", "Прочитать", 30000));
    ASSERT_TRUE(WaitForButton(values, "btnRead", "Начать", 30000));
    EXPECT_EQ(Lines(Memo().toPlainText()), rest);
    EXPECT_EQ(Lines(Text(values, "memRegisters")), cash);
}

// ---- "Дамп" ----

class DumpTest : public TesterTest {
  protected:
    void SetUp() override {
        TesterTest::SetUp();
        page_ = &dynamic_cast<TfmDumpPage&>(Page("Дамп"));
    }
    void Choose(int device, int start, int end) {
        Child<QComboBox>(*page_, "cbDevice").setCurrentIndex(device - 1);
        Click(*page_, "rbRange");
        SetNumber(*page_, "edStart", start);
        SetNumber(*page_, "edEnd", end);
    }
    Bytes Blocks(int device, int first, int last) {
        const EmuRegisterModel model = line_->Model(2);
        Bytes out;
        for (int b = first; b <= last; ++b) {
            const Bytes block =
                model.DumpBlock(static_cast<std::uint8_t>(device), static_cast<std::uint16_t>(b));
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }
    TfmDumpPage* page_ = nullptr;
};

TEST_F(DumpTest, RangeBeyondTheBlockCountIsCut) {
    Choose(4, 60, 100);  // "Процессор ФП": 64 blocks
    Click(*page_, "btnStart");
    ASSERT_TRUE(WaitForButton(*page_, "btnStart", "Начать"));
    EXPECT_EQ(Text(*page_, "lblBlocks"), "Всего блоков: 4  Прочитано: 4");
    EXPECT_TRUE(Text(*page_, "lblElapsed").startsWith("Прошло времени: 00."))
        << Text(*page_, "lblElapsed").toStdString();
    EXPECT_EQ(page_->Dump(), Blocks(4, 60, 63));
}

TEST_F(DumpTest, StartBeyondTheEndIsRefused) {
    Choose(4, 10, 5);
    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(*page_, "btnStart");
    EXPECT_EQ(message, "Начальный номер блока (10)\nне может превышать конечный (5).");
    EXPECT_FALSE(page_->Busy());
}

TEST_F(DumpTest, WholeMemoryOfOneBlock) {
    Child<QComboBox>(*page_, "cbDevice").setCurrentIndex(1);  // "Часы"
    Click(*page_, "btnStart");
    ASSERT_TRUE(WaitForButton(*page_, "btnStart", "Начать"));
    EXPECT_EQ(Text(*page_, "lblBlocks"), "Всего блоков: 1  Прочитано: 1");
    EXPECT_EQ(page_->Dump(), Blocks(2, 0, 0));
}

class DumpQuestion : public DumpTest, public ::testing::WithParamInterface<bool> {};

// A block whose answer is lost asks; yes reads it again, no ends the dump with what was read.
TEST_P(DumpQuestion, AFailingBlockAsksWhetherToGoOn) {
    const bool goOn = GetParam();
    Driver().PutLong("RepCount", 1);
    Choose(4, 0, 3);
    // Answers: the block count, then blocks 0, 1 (lost), ...
    line_->DropAnswer(line_->AnswerCount() + 3);
    QString question;
    ModalScript script;
    script.Then([&](QWidget& window) {
        auto* box = qobject_cast<QMessageBox*>(&window);
        ASSERT_NE(box, nullptr);
        question = box->text();
        box->button(goOn ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    Click(*page_, "btnStart");
    ASSERT_TRUE(WaitForButton(*page_, "btnStart", "Начать"));
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(question.endsWith(". Продолжить ?")) << question.toStdString();
    EXPECT_EQ(page_->Dump(), goOn ? Blocks(4, 0, 3) : Blocks(4, 0, 0));
    EXPECT_EQ(Text(*page_, "lblBlocks"), QString("Всего блоков: 4  Прочитано: %1").arg(goOn ? 4 : 1));
}

INSTANTIATE_TEST_SUITE_P(Answers, DumpQuestion, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Yes" : "No"; });

// The pages with a driver object whose members can be made to fail as no register makes them fail.
class FaultyDriverTest : public TesterTest {
  protected:
    void SetUp() override {
        TesterTest::SetUp();
        window_ = std::make_unique<TfmMain>(nullptr, [this] {
            HRESULT hr = E_FAIL;
            faulty_ = std::make_unique<FaultyDispatch>(CreateByProgId(hr));
            return std::make_unique<TDriver>(
                tessel::cmd::TCmdDriver(tessel::ComPtr<IDispatch>(faulty_.get())));
        });
        window_->show();
        window_->Pages().Driver();  // made now, so that its members can be made to fail
    }
    std::unique_ptr<FaultyDispatch> faulty_;  // outlives the window, which goes in TearDown
};

// Something unforeseen in the middle of a dump keeps the blocks read and says how far it got; failing
// before the first block leaves the dump read before.
TEST_F(FaultyDriverTest, DumpKeepsWhatWasReadWhenTheReadingFails) {
    auto& page = dynamic_cast<TfmDumpPage&>(Page("Дамп"));
    Child<QComboBox>(page, "cbDevice").setCurrentIndex(3);  // "Процессор ФП"
    Click(page, "rbRange");
    SetNumber(page, "edStart", 0);
    SetNumber(page, "edEnd", 3);
    const EmuRegisterModel model = line_->Model(2);
    Bytes firstTwo;
    for (std::uint16_t block : {0, 1}) {
        const Bytes data = model.DumpBlock(4, block);
        firstTwo.insert(firstTwo.end(), data.begin(), data.end());
    }

    for (const int blocksBefore : {2, 0}) {
        faulty_->FailAfter("DataBlock", blocksBefore);
        QString message;
        ModalScript script;
        script.Then([&](QWidget& box) { message = TakeMessage(box); });
        Click(page, "btnStart");
        ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(message.startsWith("DataBlock: ")) << message.toStdString();
        EXPECT_EQ(message.contains("Прочитано блоков: 2 из 4; они сохранены в дампе."), blocksBefore == 2)
            << message.toStdString();
        EXPECT_EQ(page.Dump(), firstTwo);
    }
}

TEST_F(DumpTest, ViewerShowsTheDumpAndComparesItWithFiles) {
    Choose(4, 0, 2);
    Click(*page_, "btnStart");
    ASSERT_TRUE(WaitForButton(*page_, "btnStart", "Начать"));
    TempDir dir;
    const std::string saved = dir.File("saved.dmp");
    page_->SaveFile(QString::fromStdString(saved));

    std::string content;
    ASSERT_TRUE(tessel::ReadWholeFile(saved, content));
    EXPECT_EQ(Bytes(content.begin(), content.end()), page_->Dump());
    content[40] ^= 0x01;
    tessel::WriteFileAtomically(dir.File("changed.dmp"), content);
    tessel::WriteFileAtomically(dir.File("short.dmp"), content.substr(1));

    QStringList outcomes;
    QString offset, firstByte, header;
    int rows = 0, columns = 0;
    ModalScript script;
    script
        .Then([&](QWidget& window) {
            auto& viewer = dynamic_cast<TfmDumpView&>(window);
            const QAbstractItemModel& model = *viewer.Grid().model();
            rows = model.rowCount();
            columns = model.columnCount();
            offset = model.index(5, 0).data().toString();
            firstByte = model.index(0, 1).data().toString();
            header = model.headerData(16, Qt::Horizontal).toString();
            // Through the toolbar and its file dialog: the dump against its own file.
            auto& tools = Child<QToolBar>(window, "tbTools");
            QAction* compare = window.findChild<QAction*>("actCompare");
            ASSERT_NE(compare, nullptr);
            QTest::mouseClick(tools.widgetForAction(compare), Qt::LeftButton);
            viewer.CompareFile(QString::fromStdString(dir.File("changed.dmp")));
            viewer.CompareFile(QString::fromStdString(dir.File("short.dmp")));
            viewer.close();
        })
        .Then([&](QWidget& window) {
            auto& files = dynamic_cast<QFileDialog&>(window);
            // The whole path typed into the name field, so that it does not hang on the folder's listing,
            // which the dialog loads meanwhile; accepted as the Open button does.
            Child<QLineEdit>(window, "fileNameEdit").setText(QString::fromStdString(saved));
            static_cast<QDialog&>(files).accept();
        })
        .Then([&](QWidget& box) { outcomes << TakeMessage(box); })
        .Then([&](QWidget& box) { outcomes << TakeMessage(box); })
        .Then([&](QWidget& box) { outcomes << TakeMessage(box); });
    Click(*page_, "btnView");
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(outcomes,
              (QStringList{"Файлы не отличаются.", "Файлы отличаются.", "Размеры файлов отличаются."}));
    EXPECT_EQ(rows, 6);  // 96 bytes
    EXPECT_EQ(columns, 17);
    EXPECT_EQ(offset, "000050");
    EXPECT_EQ(firstByte, QString("%1").arg(page_->Dump()[0], 2, 16, QChar('0')).toUpper());
    EXPECT_EQ(header, "0F");
}

// ---- "Флаги ККМ" ----

TEST_F(TesterTest, FlagsListEveryBitWithItsName) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.flags = 0x8005; });
    QWidget& page = Page("Флаги ККМ");
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Прочитать"));
    const QStringList lines = Lines(Text(page, "memFlags"));
    ASSERT_EQ(lines.size(), 16);
    const EmuRegisterModel model = line_->Model(2);
    for (int bit = 0; bit < 16; ++bit) {
        const char* mark = (0x8005 >> bit) & 1 ? "X" : " ";
        EXPECT_EQ(lines[bit], QString("[%1] %2").arg(mark, QString::fromStdString(model.flagNames[bit])));
    }
}

// ---- "Проверка связи" ----

// The link tests' time-out: a lost answer costs this much, and every other answer must come within it, also
// on a machine busy with other work (the driver's own default).
constexpr LONG kLinkTimeoutMs = 1000;

TEST_F(TesterTest, LinkTestCountsCallsAndTheAnswersLost) {
    Driver().PutLong("RepCount", 1);
    Driver().PutLong("Timeout", kLinkTimeoutMs);
    const std::uint64_t base = line_->AnswerCount();
    line_->DropAnswer(base + 3);
    line_->DropAnswer(base + 5);
    QWidget& page = Page("Проверка связи");
    Click(page, "btnStart");
    ASSERT_TRUE(WaitFor([&] { return Text(page, "lblCalls").toInt() >= 8; }, 20000));
    Click(page, "btnStart");
    EXPECT_EQ(ButtonText(page, "btnStart"), "Начать");
    const int calls = Text(page, "lblCalls").toInt();
    EXPECT_EQ(Text(page, "lblFailures"), "2");
    EXPECT_EQ(static_cast<int>(line_->AnswerCount() - base), calls);
    EXPECT_EQ(Text(page, "lblPercent"), QString::asprintf("%.2f", 200.0 / calls));
    // Two lost answers cost a time-out each.
    EXPECT_GE(Text(page, "lblMsPerCall").toDouble() * calls, 2.0 * kLinkTimeoutMs);
}

TEST_F(TesterTest, LinkTestStopsAtTheFirstFailureWhenAsked) {
    Driver().PutLong("RepCount", 1);
    Driver().PutLong("Timeout", kLinkTimeoutMs);
    line_->DropAnswer(line_->AnswerCount() + 4);
    QWidget& page = Page("Проверка связи");
    Click(page, "chbStopOnError");
    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(page, "btnStart");
    ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
    EXPECT_TRUE(message.startsWith("(-")) << message.toStdString();
    EXPECT_EQ(Text(page, "lblCalls"), "4");
    EXPECT_EQ(Text(page, "lblFailures"), "1");
    EXPECT_EQ(Text(page, "lblPercent"), "25.00");
}

// ---- The register's side: "Команды" and "Чеки" ----

// A request for the goods of article code 123: receipt type 1, sign 0, quantity 1.000, operator 1.
const Bytes kGoodsRequest{0x81, 0x01, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x7B, 0x00, 0x00, 0x00, 0x00, 0x01};

std::unique_ptr<TCommand> Ask(EmuLine& line, const Bytes& request) {
    std::unique_ptr<TCommand> answer;
    std::atomic<bool> done = false;
    std::jthread reg([&] {
        answer = line.SendRequest(2, request, 3000);
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 6000));
    return answer;
}

TEST_F(TesterTest, CommandsPageListsRequestsAndAnswersWithTheDefaults) {
    QWidget& page = Page("Команды");
    EXPECT_EQ(Text(page, "memCommands"), "CommandCode  Execute  Rollback\n---------------------------------");
    const auto first = Ask(*line_, kGoodsRequest);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->ResultCode, 0);
    const auto& goods = dynamic_cast<const TCommand81h&>(*first);
    EXPECT_EQ(goods.Text, "0");
    EXPECT_EQ(goods.Price, 0);
    EXPECT_EQ(goods.Section, 1);
    ASSERT_NE(Ask(*line_, kGoodsRequest), nullptr);
    // The first request of fresh counters repeats them: a rollback.
    EXPECT_EQ(Lines(Text(page, "memCommands")).mid(2),
              (QStringList{"81h          1        1", "81h          1        0"}));
    Click(page, "btnClear");
    EXPECT_EQ(Lines(Text(page, "memCommands")).size(), 2);
}

TEST_F(TesterTest, CommandsAreAnsweredOnlyWhileTheirPageIsVisible) {
    Page("Команды");
    Page("Флаги ККМ");
    EXPECT_EQ(Ask(*line_, kGoodsRequest), nullptr);
}

struct FailedAnswerCase {
    const char* page;
    Bytes request;
    const char* failure;     // how the page's line begins
    const char* receiptSum;  // the receipt's sum after it; nullptr: a page without receipts
};

void PrintTo(const FailedAnswerCase& c, std::ostream* os) {
    *os << c.page;
}

class FailedAnswer : public TesterTest, public ::testing::WithParamInterface<FailedAnswerCase> {};

// An answer the driver could not send is shown on the page, and nothing it would have counted is counted.
TEST_P(FailedAnswer, IsShownOnThePageAndNotCounted) {
    const FailedAnswerCase& c = GetParam();
    QWidget& page = Page(c.page);
    const ScopedEnv nowhere(PortVariable(9), "/nonexistent/tessel-port");
    std::atomic<bool> done = false;
    std::unique_ptr<TCommand> answer;
    std::jthread reg([&] {
        answer = line_->SendRequest(2, c.request, 1500);
        done = true;
    });
    // The request is in the driver once its message waits on this thread's queue. Before the window takes
    // it, the logical device moves to a port that is not there, so that the answer cannot go out.
    pollfd queue{tessel::MessageQueue::ForCurrentThread()->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&queue, 1, 5000), 1) << "the request did not reach the driver";
    Driver().PutLong("PortNumber", 9);
    ASSERT_TRUE(WaitFor([&] { return done.load(); }, 5000));
    EXPECT_EQ(answer, nullptr);
    EXPECT_TRUE(Text(page, "lblFailure").startsWith(c.failure)) << Text(page, "lblFailure").toStdString();
    if (c.receiptSum != nullptr) {
        EXPECT_EQ(Text(page, "lblReceiptSum"), c.receiptSum);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FailedAnswer,
    ::testing::Values(FailedAnswerCase{"Команды", kGoodsRequest, "Ответ на 81h не отправлен: (-3) ", nullptr},
                      // 12.50 a piece, one piece.
                      FailedAnswerCase{"Чеки",
                                       {0x80, 1, 0, 0xE8, 3, 0, 0, 0, 0xE2, 4, 0, 0, 0, 1, 1},
                                       "Ответ на 80h не отправлен: (-3) ",
                                       "0.00"}),
    [](const auto& info) { return std::string(info.param.receiptSum == nullptr ? "Commands" : "Receipts"); });

TEST_F(TesterTest, ReceiptsKeepTheirTotalsThroughTheWholeSale) {
    auto& page = dynamic_cast<TfmReceiptsPage&>(Page("Чеки"));
    ASSERT_TRUE(PlayScript(EmuScript::Parse(EmuScript::ExampleText())));
    // 12.50 closed; then 3 × 5.00 corrected by a rollback to 2 × 5.00, and cancelled.
    EXPECT_EQ(Text(page, "lblReceiptSum"), "10.00");
    EXPECT_EQ(Text(page, "lblTotal"), "12.50");
    EXPECT_EQ(Text(page, "lblCount"), "1");
    Click(page, "btnReset");
    EXPECT_EQ(Text(page, "lblTotal"), "0.00");
    EXPECT_EQ(page.Receipts().Count(), 0);
}

}  // namespace
}  // namespace tessel_test
