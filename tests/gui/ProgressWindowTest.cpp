// The tables' progress window driven as the transfer engine drives it, with a worker thread asking and
// finishing while the user presses "Прервать" or closes the window: whatever order these come in, the window
// closes, no two questions are open at once, and the worker's question never outlives the window.
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "driver/dialogs/fmuProgr.h"
#include "support/ModalScript.h"

namespace tessel_test {
namespace {

constexpr const char* kContinueText = "Ошибка: (-1) Нет связи\r\nПродолжить выполнение ?";

class ProgressWindowTest : public ::testing::Test {
  protected:
    ~ProgressWindowTest() override {
        if (worker_.joinable()) worker_.join();
    }

    // Runs `work` as the operation's worker; it ends with the completion message unless told not to.
    void StartWorker(std::function<void()> work, bool finish = true) {
        worker_ = std::thread([this, work = std::move(work), finish] {
            work();
            if (finish) window_.Finish();
        });
    }
    // The modal wait, answering "Прервать" with the abort question; how long it lasted.
    std::chrono::milliseconds ShowModal() {
        const auto start = std::chrono::steady_clock::now();
        window_.ShowModal([this] {
            ++aborts_;
            return window_.AskAbort(kAbortQuestion);
        });
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     start);
    }
    void JoinWorker() { worker_.join(); }

    TfmProgress window_{nullptr};
    std::thread worker_;
    int aborts_ = 0;
};

// Answers a message box with `button` and returns its text; checks that it is a warning of the driver.
QString Answer(QWidget& window, QMessageBox::StandardButton button) {
    auto* box = qobject_cast<QMessageBox*>(&window);
    if (box == nullptr) {
        ADD_FAILURE() << "not a message box: " << window.windowTitle().toStdString();
        return {};
    }
    EXPECT_EQ(box->windowTitle(), "Драйвер ККМ");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    const QString text = box->text();
    QTest::mouseClick(box->button(button), Qt::LeftButton);
    return text;
}

TEST_F(ProgressWindowTest, CompletionBeforeTheWaitEndsItAtOnce) {
    window_.Prepare();
    StartWorker([] {});
    JoinWorker();
    EXPECT_LT(ShowModal().count(), 1000);
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(ProgressWindowTest, WorkersUpdatesShowTheLastState) {
    window_.SetCaption("Чтение таблиц...");
    window_.SetMax(40);
    window_.Prepare();
    StartWorker([this] {
        for (int i = 1; i <= 45; ++i) {
            window_.StepIt();  // past the maximum the bar starts again
            window_.SetInfo(TProgressLine::Info3, "Полей всего: 45 прочитано: " + std::to_string(i));
        }
        window_.SetInfo(TProgressLine::Info, "Чтение таблицы 'Кассиры и администраторы'");
    });
    ShowModal();
    EXPECT_EQ(window_.windowTitle(), "Чтение таблиц...");
    EXPECT_EQ(Child<QProgressBar>(window_, "ProgressBar").value(), 4);
    EXPECT_EQ(Child<QLabel>(window_, "lblInfo3").text(), "Полей всего: 45 прочитано: 45");
    // Too long for the window: the line shows what fits, the whole text stays.
    EXPECT_NE(Child<QLabel>(window_, "lblInfo").text(), window_.InfoText(TProgressLine::Info));
    EXPECT_EQ(window_.InfoText(TProgressLine::Info), "Чтение таблицы 'Кассиры и администраторы'");
}

struct ContinueCase {
    QMessageBox::StandardButton button;
    bool answer;
};

void PrintTo(const ContinueCase& c, std::ostream* os) {
    *os << (c.answer ? "Yes" : "No");
}

class ProgressContinueTest : public ProgressWindowTest, public ::testing::WithParamInterface<ContinueCase> {};

TEST_P(ProgressContinueTest, WorkersQuestionIsAnsweredOnTheWindowsThread) {
    window_.Prepare();
    std::promise<bool> answer;
    StartWorker([&] { answer.set_value(window_.AskContinue(kContinueText)); });
    QString text;
    ModalScript script;
    script.Skip([](const QWidget& w) { return w.objectName() == "TfmProgress"; }).Then([&](QWidget& box) {
        text = Answer(box, GetParam().button);
    });
    ShowModal();
    EXPECT_EQ(answer.get_future().get(), GetParam().answer);
    EXPECT_EQ(text, "Ошибка: (-1) Нет связи\nПродолжить выполнение ?");
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressContinueTest,
                         ::testing::Values(ContinueCase{QMessageBox::Yes, true},
                                           ContinueCase{QMessageBox::No, false}));

struct AbortCase {
    QMessageBox::StandardButton abort;
    bool continueShown;
};

void PrintTo(const AbortCase& c, std::ostream* os) {
    *os << (c.abort == QMessageBox::Yes ? "abort confirmed" : "abort refused");
}

class AbortWhileAskingTest : public ProgressWindowTest, public ::testing::WithParamInterface<AbortCase> {};

// The worker's question comes while the abort question is open: it waits for that one; an abort confirmed
// answers it No unseen, an abort refused lets it be shown.
TEST_P(AbortWhileAskingTest, WorkersQuestionWaitsForTheAbortQuestion) {
    window_.Prepare();
    std::promise<bool> answer;
    std::atomic<bool> asking{false};
    bool continueShown = false;
    ModalScript script;
    script.Then([](QWidget& progress) { Click(progress, "btnCancel"); }).Then([&](QWidget& abortBox) {
        StartWorker([&] {
            asking = true;
            answer.set_value(window_.AskContinue(kContinueText));
        });
        WaitFor([&] { return asking.load(); });
        QTest::qWait(100);  // the question reaches the window meanwhile
        EXPECT_EQ(Answer(abortBox, GetParam().abort), "Прервать выполнение ?");
    });
    if (GetParam().continueShown) {
        script.Then(
            [&](QWidget& box) { continueShown = Answer(box, QMessageBox::Yes).startsWith("Ошибка:"); });
    }
    EXPECT_LT(ShowModal().count(), 10000);
    EXPECT_EQ(answer.get_future().get(), GetParam().continueShown);
    EXPECT_EQ(continueShown, GetParam().continueShown);
    EXPECT_EQ(aborts_, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, AbortWhileAskingTest,
                         ::testing::Values(AbortCase{QMessageBox::Yes, false},
                                           AbortCase{QMessageBox::No, true}));

TEST_F(ProgressWindowTest, CompletionClosesAnOpenAbortQuestion) {
    window_.Prepare();
    bool questionClosed = false;
    ModalScript script;
    script.Then([](QWidget& progress) { Click(progress, "btnCancel"); }).Then([&](QWidget& abortBox) {
        StartWorker([] {});
        questionClosed = WaitFor([&] { return !abortBox.isVisible(); });
    });
    EXPECT_LT(ShowModal().count(), 10000);
    EXPECT_TRUE(questionClosed);
    EXPECT_FALSE(window_.isVisible());
}

struct CloseCase {
    const char* name;
    std::function<void(QWidget&)> close;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgressCloseTest : public ProgressWindowTest, public ::testing::WithParamInterface<CloseCase> {};

// Every way of closing the window asks the abort question; refused, the window stays until the end.
TEST_P(ProgressCloseTest, ClosingAsksTheAbortQuestion) {
    window_.Prepare();
    bool stayed = false;
    ModalScript script;
    script.Then([&](QWidget& progress) { GetParam().close(progress); }).Then([&](QWidget& abortBox) {
        Answer(abortBox, QMessageBox::No);
        stayed = window_.isVisible();
        StartWorker([] {});
    });
    ShowModal();
    EXPECT_EQ(aborts_, 1);
    EXPECT_TRUE(stayed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressCloseTest,
    ::testing::Values(CloseCase{"Button", [](QWidget& w) { Click(w, "btnCancel"); }},
                      CloseCase{"Escape", [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
                      CloseCase{"CloseEvent", [](QWidget& w) { w.close(); }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(ProgressWindowTest, AbortConfirmedClosesTheWindowWhileTheWorkerRuns) {
    window_.Prepare();
    ModalScript script;
    script.Then([](QWidget& progress) { Click(progress, "btnCancel"); }).Then([](QWidget& abortBox) {
        Answer(abortBox, QMessageBox::Yes);
    });
    EXPECT_LT(ShowModal().count(), 10000);
    EXPECT_FALSE(window_.isVisible());
    // The worker, still running, asks once the window is gone: the answer is No, at once.
    std::promise<bool> answer;
    StartWorker([&] { answer.set_value(window_.AskContinue(kContinueText)); });
    auto future = answer.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(future.get());
}

}  // namespace
}  // namespace tessel_test
