// The driver test program's main window: its pages, the driver's settings and the about box.
#include <QPushButton>
#include <atomic>

#include "tester/gui/TesterFixture.h"

namespace tessel_test {
namespace {

using tessel::tst::TfmMain;

TEST_F(TesterTest, ListNumbersThePagesAndEachFillsThePanelAlone) {
    auto& list = Child<QListWidget>(Window(), "lbPages");
    ASSERT_EQ(list.count(), Window().Pages().Count());
    EXPECT_EQ(list.count(), 9);
    EXPECT_EQ(Window().windowTitle(), "Тест ККМ " + TfmMain::Version());
    // The first page shows at start.
    EXPECT_EQ(Window().Pages().VisibleIndex(), 0);
    for (int i = list.count() - 1; i >= 0; --i) {
        const QString text = list.item(i)->text();
        EXPECT_EQ(text, QString("%1. %2").arg(i + 1).arg(Window().Pages().Items(i).Caption()));
        QWidget& page = Page(Window().Pages().Items(i).Caption().toUtf8().constData());
        EXPECT_EQ(Window().Pages().VisibleIndex(), i);
        for (int j = 0; j < Window().Pages().Count(); ++j)
            EXPECT_EQ(Window().Pages().Items(j).isVisible(), &Window().Pages().Items(j) == &page)
                << text.toStdString();
    }
}

TEST_F(TesterTest, SettingsOpenThePropertyFrameWhenNothingRuns) {
    QString title;
    ModalScript script;
    script.Then([&](QWidget& frame) {
        title = frame.windowTitle();
        Click(frame, "btnCancel");
    });
    Click(Window(), "btnSettings");
    EXPECT_EQ(title, "Свойства");
    EXPECT_TRUE(script.Done());
}

TEST_F(TesterTest, SettingsAreRefusedWhileAWorkerReads) {
    // A dump of 2048 blocks, each answered late: it runs for a while.
    line_->SetAnswerDelay(20);
    QWidget& page = Page("Дамп");
    Click(page, "btnStart");
    ASSERT_TRUE(WaitFor([&] { return ButtonText(page, "btnStart") == "Прервать"; }));

    QString message;
    ModalScript script;
    script.Then([&](QWidget& box) { message = TakeMessage(box); });
    Click(Window(), "btnSettings");
    EXPECT_EQ(message, TfmMain::kBusyText);

    Click(page, "btnStart");
    EXPECT_TRUE(WaitForButton(page, "btnStart", "Начать"));
    EXPECT_FALSE(Window().Pages().AnyBusy());
}

TEST_F(TesterTest, AboutShowsBothVersions) {
    const AboutTexts about = ReadAboutBox(Window(), "btnAbout");
    EXPECT_EQ(about.test, "Версия теста: " + TfmMain::Version());
    EXPECT_EQ(about.driver.toStdString(), "Версия драйвера: " + Driver().GetString("Version"));
}

// A page whose work runs when the window closes stops, and nothing is left running once it has closed.
TEST_F(TesterTest, ClosingTheWindowStopsTheWork) {
    line_->SetAnswerDelay(20);
    QWidget& dump = Page("Дамп");
    Click(dump, "btnStart");
    QWidget& link = Page("Проверка связи");
    Click(link, "btnStart");
    ASSERT_TRUE(
        WaitFor([&] { return Window().Pages().Items(4).Busy() && Window().Pages().Items(6).Busy(); }));
    Window().close();
    EXPECT_TRUE(WaitFor([&] { return !Window().isVisible(); }));
    EXPECT_FALSE(Window().Pages().AnyBusy());
}

// A worker inside a long driver call (table initialisation, whose answer comes late) does not hold the
// window: the about box opens at once, work of the window's own waits for its turn without holding it, the
// busy line says what goes on, and closing waits for the call without freezing.
TEST_F(TesterTest, TheWindowGoesOnWhileAWorkerIsInALongCall) {
    std::atomic<int> answers = 0;  // answers of table initialisation sent so far
    line_->SetFrameObserver([&](const EmuFrameEvent& e) {
        if (e.kind == EmuFrameEvent::Kind::Sent && e.note.rfind("answer", 0) == 0 && e.bytes.size() > 8 &&
            e.bytes[7] == 0x24) {
            ++answers;
            // Only that answer comes late: the line answers the next request after this returns.
            line_->SetAnswerDelay(0);
        }
    });
    // The test's own driver object waits for the worker as any client does: asked before.
    const std::string version = Driver().GetString("Version");
    QWidget& misc = Page("Дополнительно");
    const auto longCall = [&](int number) {
        line_->SetAnswerDelay(3000);
        Click(misc, "btnInitTables");
        // The request reached the register, which answers it three seconds later.
        ASSERT_TRUE(WaitFor([&] { return line_->ExecutionCount(2, 0x24) == static_cast<unsigned>(number); }));
    };
    longCall(1);
    if (HasFatalFailure()) return;

    const AboutTexts about = ReadAboutBox(Window(), "btnAbout");
    EXPECT_EQ(answers, 0) << "the about box waited for the worker's call";
    EXPECT_EQ(about.driver.toStdString(), "Версия драйвера: " + version);
    EXPECT_TRUE(Text(Window(), "lblBusy").contains("«Дополнительно»"))
        << Text(Window(), "lblBusy").toStdString();

    // The link test's first step waits for its turn, without holding the window.
    QWidget& link = Page("Проверка связи");
    Click(link, "btnStart");
    EXPECT_TRUE(WaitFor([&] { return Text(Window(), "lblBusy").contains("ждёт"); }))
        << Text(Window(), "lblBusy").toStdString();
    EXPECT_EQ(answers, 0) << "the link test waited for the worker's call";
    EXPECT_EQ(Text(link, "lblCalls"), "0");
    EXPECT_TRUE(WaitFor([&] { return Text(link, "lblCalls").toInt() >= 2; }, 10000));
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(Text(Window(), "lblBusy"), "");
    Click(link, "btnStart");

    longCall(2);
    if (HasFatalFailure()) return;
    Window().close();
    EXPECT_EQ(answers, 1) << "closing waited for the worker's call";
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(Text(Window(), "lblBusy").contains(TfmMain::kClosingText));
    EXPECT_TRUE(WaitFor([&] { return !Window().isVisible(); }, 10000));
    EXPECT_EQ(answers, 2);
    EXPECT_FALSE(Window().Pages().AnyBusy());
    line_->SetFrameObserver(nullptr);
}

}  // namespace
}  // namespace tessel_test
