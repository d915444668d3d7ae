// The command tester's window driven with the mouse and keyboard against the driver and the emulator.
#include <QPushButton>
#include <atomic>
#include <thread>

#include "cmdtester/gui/CmdTesterFixture.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/link/untCodecs.h"
#include "tools/testerlib/untEcrCmd.h"

namespace tessel_test {
namespace {

using tessel::cmd::TCmdDateForms;
using tessel::cmd::TCmdDriver;

const char* const kButtons[] = {"btnExecute", "btnDriver", "btnParams", "btnClose"};

bool ButtonsEnabled(QWidget& window) {
    for (const char* name : kButtons)
        if (!Child<QPushButton>(window, name).isEnabled()) return false;
    return true;
}

// ---- "Выполнить" ----

class ExecuteTest : public CmdTesterTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ExecuteTest, ARequestGoesToTheRegisterAndItsAnswerIsShown) {
    const bool wait = GetParam();
    SetParams(1000, wait, true);
    // Late enough that the answer cannot be shown before the click is over.
    line_->SetAnswerDelay(300);
    Select(0x11);
    const QString today = Cell("ECRDate");
    Click(Window(), "btnExecute");

    EXPECT_EQ(Label("lblSentCount"), "1");
    EXPECT_EQ(Field("edSent"), DriverFrame());
    EXPECT_EQ(Field("edResult"), "(0) Ошибок нет");
    EXPECT_TRUE(ButtonsEnabled(Window()));
    if (wait) {
        EXPECT_EQ(Label("lblReceivedCount"), "1");
        EXPECT_EQ(Cell("ECRDate"), "15.03.2024");
        EXPECT_EQ(Cell("ECRTime"), "09:05:07");
        EXPECT_EQ(Cell("ECRSoftVersion"), "1.0");
        EXPECT_EQ(Cell("CommandResultDescription"), "Ошибок нет");
        return;
    }
    EXPECT_EQ(Label("lblReceivedCount"), "0");
    EXPECT_EQ(Cell("ECRDate"), today);
    EXPECT_EQ(Field("edReceived"), "");
    // The answer nobody waited for comes as a received command, and is shown as such.
    EXPECT_TRUE(WaitFor([&] { return Label("lblReceivedCount") == "1"; }));
    EXPECT_EQ(Cell("ECRDate"), "15.03.2024");
    EXPECT_EQ(Field("edReceived"), DriverFrame());
}

INSTANTIATE_TEST_SUITE_P(WaitAnswer, ExecuteTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Waiting" : "NotWaiting"; });

struct WriteFailure {
    const char* name;
    long code;
    const char* property;
    const char* text;
    const char* message;
};

void PrintTo(const WriteFailure& c, std::ostream* os) {
    *os << c.name;
}

class WriteFailureTest : public CmdTesterTest, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailureTest, StopsWithTheComposedMessageAndGivesTheButtonsBack) {
    const WriteFailure& c = GetParam();
    Select(c.code);
    SetCell(c.property, QString::fromUtf8(c.text));
    QString message;
    bool disabledMeanwhile = false;
    ModalScript script;
    script.Then([&](QWidget& box) {
        disabledMeanwhile = !Child<QPushButton>(Window(), "btnExecute").isEnabled();
        message = TakeMessage(box);
    });
    Click(Window(), "btnExecute");
    EXPECT_EQ(message.toStdString(), c.message);
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(ButtonsEnabled(Window()));
    EXPECT_EQ(Label("lblSentCount"), "0");
    EXPECT_EQ(Field("edSent"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailureTest,
    ::testing::Values(
        WriteFailure{"TextThatIsNoInteger", 0x14, "ECRPortNumber", "abc",
                     "Ошибка при записи свойства ECRPortNumber, Номер порта\n«abc» не является целым числом"},
        WriteFailure{"ImpossibleDate", 0x11, "ECRDate", "31.02.2024",
                     "Ошибка при записи свойства ECRDate, Дата ККМ\n«31.02.2024» не является датой"},
        // The register's requests carry the operator as text; the driver's property takes only numbers.
        WriteFailure{"ValueTheDriverRefuses", 0x81, "OperatorNumber", "первый",
                     "Ошибка при записи свойства OperatorNumber, Номер оператора\nНесоответствие типов "
                     "(80020005h)"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The register's side ----

// A request for the goods of article code 123: receipt type 1, sign 0, quantity 1.000, operator 1.
const Bytes kGoodsRequest{0x81, 0x01, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x7B, 0x00, 0x00, 0x00, 0x00, 0x01};

class AnswerTest : public CmdTesterTest {
  protected:
    // The register sends `request` and waits at most `ms` for the answer, while this thread runs the window.
    std::unique_ptr<TCommand> Ask(const Bytes& request, std::uint32_t ms) {
        std::unique_ptr<TCommand> answer;
        std::atomic<bool> done = false;
        std::jthread reg([&] {
            answer = line_->SendRequest(2, request, ms);
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done.load(); }, static_cast<int>(ms) + 3000));
        return answer;
    }
    // The port opens with the first command executed.
    void OpenPort() {
        Select(0xFC);
        Click(Window(), "btnExecute");
        ASSERT_EQ(Field("edResult"), "(0) Ошибок нет");
    }
};

TEST_F(AnswerTest, ARequestIsShownAndAnsweredFromTheGrid) {
    Select(0x81);
    SetCell("Text", "Хлеб ржаной");
    SetCell("Price", "12,5");
    SetCell("Section", "3");
    OpenPort();

    const auto answer = Ask(kGoodsRequest, 3000);
    ASSERT_NE(answer, nullptr);
    const auto& goods = dynamic_cast<const TCommand81h&>(*answer);
    EXPECT_EQ(goods.ResultCode, 0);
    EXPECT_EQ(goods.Text, "Хлеб ржаной");
    EXPECT_EQ(goods.Price, 125000);
    EXPECT_EQ(goods.Section, 3);

    EXPECT_EQ(Window().CurrentIndex(), Window().Commands().IndexOfCode(0x81));
    EXPECT_EQ(Cell("Code"), "123");
    EXPECT_EQ(Cell("Quantity"), "1");
    EXPECT_EQ(Cell("OperatorNumber"), "1");
    EXPECT_EQ(Cell("Text"), "Хлеб ржаной");
    EXPECT_EQ(Label("lblReceivedCount"), "2");  // the device type's answer, then the request
    // The request as it came (register 2 to the computer, 81h), then the answer as the register received it.
    EXPECT_TRUE(Field("edReceived").startsWith("7E 01 02 00 ")) << Field("edReceived").toStdString();
    EXPECT_EQ(Field("edReceived").mid(21, 2), "81");
    EXPECT_EQ(Field("edSent").toStdString(), BytesToHex(answer->Cadr));
    EXPECT_EQ(Field("edSent"), DriverFrame());
}

// A value still being typed when the register's request comes is kept with its own command, and one typed
// for the command asked goes into the answer; no editor is left open over another command's row.
TEST_F(AnswerTest, ValuesBeingTypedStayWithTheirCommands) {
    OpenPort();
    Select(0x1A);
    TypeIntoCell("RegisterNumber", "7");
    ASSERT_NE(Ask(kGoodsRequest, 3000), nullptr);
    EXPECT_EQ(OpenEditor(), nullptr);
    Select(0x1A);
    EXPECT_EQ(Cell("RegisterNumber"), "7");

    Select(0x81);
    TypeIntoCell("Text", "Батон");
    const auto answer = Ask(kGoodsRequest, 3000);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(dynamic_cast<const TCommand81h&>(*answer).Text, "Батон");
    EXPECT_EQ(Cell("Text"), "Батон");
}

TEST_F(AnswerTest, WaitingForAnswersDoesNotHoldBackTheAnswerToARequest) {
    SetParams(2000, true, true);
    OpenPort();
    QElapsedTimer clock;
    clock.start();
    ASSERT_NE(Ask(kGoodsRequest, 3000), nullptr);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(Field("edResult"), "(0) Ошибок нет");
}

TEST_F(AnswerTest, WithoutSendAnswerTheRequestIsOnlyShown) {
    SetParams(1000, false, false);
    OpenPort();
    const QString sentBefore = Field("edSent");
    EXPECT_EQ(Ask(kGoodsRequest, 600), nullptr);
    EXPECT_TRUE(WaitFor([&] { return Window().CurrentIndex() == Window().Commands().IndexOfCode(0x81); }));
    EXPECT_EQ(Cell("Code"), "123");
    EXPECT_EQ(Field("edSent"), sentBefore) << "nothing went out";
}

// ---- The rest of the window ----

TEST_F(CmdTesterTest, TheGridKeepsItsValuesWhenAnotherCommandIsShown) {
    Select(0x1A);
    SetCell("RegisterNumber", "7");
    Select(0x1B);
    EXPECT_EQ(Cell("RegisterNumber"), "0");
    Select(0x1A);
    EXPECT_EQ(Cell("RegisterNumber"), "7");
    QStringList captions;
    for (int row = 0; row < Grid().rowCount(); ++row) captions << Grid().item(row, 0)->text();
    EXPECT_EQ(captions, (QStringList{"[ in] Номер регистра", "[out] Значение регистра", "[out] Код ошибки",
                                     "[out] Описание ошибки"}));
}

TEST_F(CmdTesterTest, ClosingKeepsTextsAndSettingsForTheNextStart) {
    SetParams(250, true, false);
    Select(0x1F);
    SetCell("TableNumber", "4");
    Click(Window(), "btnClose");
    EXPECT_FALSE(Window().isVisible());

    Open();
    EXPECT_EQ(Window().AppParams().Timeout, 250);
    EXPECT_TRUE(Window().AppParams().WaitAnswer);
    EXPECT_FALSE(Window().AppParams().SendAnswer);
    Select(0x1F);
    EXPECT_EQ(Cell("TableNumber"), "4");
}

TEST_F(CmdTesterTest, AValueBeingTypedIsKeptWhenTheWindowCloses) {
    Select(0x1F);
    TypeIntoCell("TableNumber", "4");
    Window().close();
    Open();
    Select(0x1F);
    EXPECT_EQ(Cell("TableNumber"), "4");
}

TEST_F(CmdTesterTest, ParamsTakesItsSettingsOnOKAndItsDefaultsOnRequest) {
    SetParams(250, true, false);
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        auto& edit = Child<QLineEdit>(dialog, "edTimeout");
        edit.clear();
        EXPECT_FALSE(Child<QPushButton>(dialog, "btnOK").isEnabled());
        Click(dialog, "btnDefaults");
        EXPECT_EQ(edit.text(), "1000");
        EXPECT_FALSE(Child<QAbstractButton>(dialog, "chbWaitAnswer").isChecked());
        EXPECT_TRUE(Child<QAbstractButton>(dialog, "chbSendAnswer").isChecked());
        EXPECT_TRUE(Child<QPushButton>(dialog, "btnOK").isEnabled());
        Click(dialog, "btnCancel");
    });
    Click(Window(), "btnParams");
    EXPECT_EQ(Window().AppParams().Timeout, 250);
    EXPECT_TRUE(Window().AppParams().WaitAnswer);
}

TEST_F(CmdTesterTest, ResetZeroesBothCounters) {
    SetParams(1000, true, true);
    Select(0x11);
    Click(Window(), "btnExecute");
    ASSERT_EQ(Label("lblReceivedCount"), "1");
    Click(Window(), "btnReset");
    EXPECT_EQ(Label("lblSentCount"), "0");
    EXPECT_EQ(Label("lblReceivedCount"), "0");
}

TEST_F(CmdTesterTest, AboutShowsTheTestersAndTheDriversVersions) {
    const AboutTexts about = ReadAboutBox(Window(), "btnAbout");
    EXPECT_EQ(about.test, "Версия теста: " + TfmMain::Version());
    EXPECT_EQ(about.driver.toStdString(), "Версия драйвера: " + Driver().GetString("Version"));
}

TEST_F(CmdTesterTest, DriverOpensThePropertyFrame) {
    QString title;
    ModalScript script;
    script.Then([&](QWidget& frame) {
        title = frame.windowTitle();
        Click(frame, "btnCancel");
    });
    Click(Window(), "btnDriver");
    EXPECT_FALSE(title.isEmpty());
    EXPECT_EQ(Field("edResult"), "(0) Ошибок нет");
}

// Every property the list names exists and takes its parameter's default; every one reads back.
TEST_F(DialogTest, TheDriverTakesEveryParameterOfTheList) {
    const TCmdDateForms forms;
    tessel::cmd::TCommands list = tessel::cmd::CreateEcrCommands(forms);
    TCmdDriver driver = TCmdDriver::Create();
    for (tessel::cmd::TCommand& c : list) {
        EXPECT_NO_THROW(driver.WriteParams(c.InParams, forms)) << c.Name;
        EXPECT_NO_THROW(driver.WriteParams(c.OutParams, forms)) << c.Name;
        EXPECT_NO_THROW(driver.ReadParams(c.InParams, forms)) << c.Name;
        EXPECT_NO_THROW(driver.ReadParams(c.OutParams, forms)) << c.Name;
    }
}

}  // namespace
}  // namespace tessel_test
