// Renders the driver test program's pages to PNG as a user sees them after a first action: the driver
// registered, an emulated register on COM1, the offscreen platform. scripts/screenshots runs every case with
// TESSEL_SCREENSHOTS naming the folder.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "common/qt/QtBootstrap.h"
#include "support/TempDir.h"
#include "support/WindowShot.h"
#include "tester/gui/TesterFixture.h"
#include "tools/tester/fmuDumpPage.h"
#include "tools/tester/fmuDumpView.h"

namespace tessel_test {
namespace {

class TstScreenshot : public TesterTest {
  protected:
    void SetUp() override {
        // Qt's own buttons in Russian, as TesselTst's main installs them.
        static const bool translated = [] {
            tessel::qt::InstallQtTranslations(*QCoreApplication::instance());
            return true;
        }();
        (void)translated;
        TesterTest::SetUp();
        line_->UpdateModel(2, [](EmuRegisterModel& m) {
            m.cashRegisters = {0, 125050, 3400, 99990, 15, 1200000, 0, 4711, 250, 0, 31400, 777};
            m.flags = 0x0105;
        });
    }
};

TEST_F(TstScreenshot, Status) {
    QWidget& page = Page("Состояние");
    Click(page, "btnEcr");
    ASSERT_TRUE(WaitForButton(page, "btnEcr", "ККМ"));
    SaveWindowShot(Window(), "tester-status");
}

TEST_F(TstScreenshot, Misc) {
    Page("Дополнительно");
    SaveWindowShot(Window(), "tester-misc");
}

TEST_F(TstScreenshot, Registers) {
    QWidget& page = Page("Значения регистров");
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Начать"));
    SaveWindowShot(Window(), "tester-registers");
}

TEST_F(TstScreenshot, Rest) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        for (int i = 0; i < 12; ++i) m.restRegisters[static_cast<std::size_t>(i)] = i * 1250 - 2000;
    });
    QWidget& page = Page("Регистры остатков");
    Click(page, "rbRange");
    Child<QSpinBox>(page, "edTo").setValue(11);
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Прочитать"));
    SaveWindowShot(Window(), "tester-rest");
}

TEST_F(TstScreenshot, Dump) {
    QWidget& page = Page("Дамп");
    Child<QComboBox>(page, "cbDevice").setCurrentIndex(3);
    Click(page, "btnStart");
    ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
    SaveWindowShot(Window(), "tester-dump");
    ModalScript script;
    script.Then([&](QWidget& viewer) {
        SaveWindowShot(viewer, "tester-dumpview");
        viewer.close();
    });
    Click(page, "btnView");
}

// A block whose answer is lost: the question whether to go on.
TEST_F(TstScreenshot, DumpQuestion) {
    Driver().PutLong("RepCount", 1);
    QWidget& page = Page("Дамп");
    Child<QComboBox>(page, "cbDevice").setCurrentIndex(3);
    line_->DropAnswer(line_->AnswerCount() + 3);
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "tester-question");
        dynamic_cast<QMessageBox&>(box).button(QMessageBox::No)->click();
    });
    Click(page, "btnStart");
    ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
}

// The viewer's comparison of the dump with the file it was saved to.
TEST_F(TstScreenshot, DumpCompared) {
    auto& page = dynamic_cast<tessel::tst::TfmDumpPage&>(Page("Дамп"));
    Child<QComboBox>(page, "cbDevice").setCurrentIndex(1);
    Click(page, "btnStart");
    ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
    TempDir dir;
    const QString saved = QString::fromStdString(dir.File("clock.dmp"));
    page.SaveFile(saved);
    ModalScript script;
    script
        .Then([&](QWidget& viewer) {
            dynamic_cast<tessel::tst::TfmDumpView&>(viewer).CompareFile(saved);
            viewer.close();
        })
        .Then([&](QWidget& box) {
            SaveWindowShot(box, "tester-compare");
            TakeMessage(box);
        });
    Click(page, "btnView");
}

// A driver call that fails: its code and the driver's text, and the page stops.
TEST_F(TstScreenshot, Error) {
    Driver().PutLong("RepCount", 1);
    line_->DropAnswer(line_->AnswerCount() + 1);
    QWidget& page = Page("Состояние");
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "tester-error");
        TakeMessage(box);
    });
    Click(page, "btnEcr");
    ASSERT_TRUE(WaitForButton(page, "btnEcr", "ККМ"));
}

TEST_F(TstScreenshot, Flags) {
    QWidget& page = Page("Флаги ККМ");
    Click(page, "btnRead");
    ASSERT_TRUE(WaitForButton(page, "btnRead", "Прочитать"));
    SaveWindowShot(Window(), "tester-flags");
}

TEST_F(TstScreenshot, Link) {
    Driver().PutLong("RepCount", 1);
    Driver().PutLong("Timeout", 150);
    line_->DropAnswer(line_->AnswerCount() + 7);
    QWidget& page = Page("Проверка связи");
    Click(page, "btnStart");
    ASSERT_TRUE(WaitFor([&] { return Text(page, "lblCalls").toInt() >= 40; }, 20000));
    Click(page, "btnStart");
    SaveWindowShot(Window(), "tester-link");
}

TEST_F(TstScreenshot, Commands) {
    Page("Команды");
    ASSERT_TRUE(
        PlayScript(EmuScript::Parse("81 RegType=1 Quantity=2.000 Code=123 OperatorNumber=1\n"
                                    "80 RegType=1 Quantity=1.000 Price=12.50 Section=1 OperatorNumber=1\n"
                                    "rollback 80 RegType=1 Quantity=3.000 Price=12.50 Section=1\n"
                                    "88 RegType=1 RecSumm=50.00 OperatorNumber=1\n")));
    SaveWindowShot(Window(), "tester-commands");
}

TEST_F(TstScreenshot, Receipts) {
    Page("Чеки");
    ASSERT_TRUE(PlayScript(EmuScript::Parse(EmuScript::ExampleText())));
    SaveWindowShot(Window(), "tester-receipts");
}

TEST_F(TstScreenshot, About) {
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "tester-about");
        Click(box, "btnOK");
    });
    Click(Window(), "btnAbout");
}

TEST_F(TstScreenshot, SettingsRefused) {
    line_->SetAnswerDelay(20);
    QWidget& page = Page("Дамп");
    Click(page, "btnStart");
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "tester-busy");
        TakeMessage(box);
    });
    Click(Window(), "btnSettings");
    Click(page, "btnStart");
    ASSERT_TRUE(WaitForButton(page, "btnStart", "Начать"));
}

}  // namespace
}  // namespace tessel_test
