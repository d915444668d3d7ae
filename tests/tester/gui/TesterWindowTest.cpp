// The driver test program's main window: its pages, the driver's settings and the about box.
#include <QPushButton>

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

// A page whose work runs when the window closes stops, and nothing is left running.
TEST_F(TesterTest, ClosingTheWindowStopsTheWork) {
    line_->SetAnswerDelay(20);
    QWidget& dump = Page("Дамп");
    Click(dump, "btnStart");
    QWidget& link = Page("Проверка связи");
    Click(link, "btnStart");
    ASSERT_TRUE(
        WaitFor([&] { return Window().Pages().Items(4).Busy() && Window().Pages().Items(6).Busy(); }));
    Window().close();
    EXPECT_FALSE(Window().Pages().AnyBusy());
}

}  // namespace
}  // namespace tessel_test
