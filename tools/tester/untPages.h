#pragma once
// The test program's pages and the list that holds them with the one driver object they share.
//
// A page is a borderless form that fills the main window's data panel while it is the visible one. Its work
// either runs on its worker thread (untWorker.h) or in steps on the window's thread, one driver exchange a
// step. The window's thread never waits for a worker's driver call: what it does with the driver waits in
// the list's queue for the driver to be free (WithDriver), and the window says meanwhile that it waits.
// Every failure a page meets is shown to the user, and the page stops.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/tester/Driver.h"
#include "tools/tester/untWorker.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStackedLayout;
class QTimer;
class TEventDriver;

namespace tessel::tst {

class TPage;
class TPages;
struct TReceivedCommand;

// The widgets the pages are made of, named for the tests that drive them.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text);
// A register or block number, 0..65535.
QSpinBox* NewNumber(QWidget* parent, const char* name, int value);
// A text box in the fixed font, so that the lines' columns stand one under another.
QPlainTextEdit* NewMemo(QWidget* parent, const char* name, bool readOnly);

// Work in steps on the window's thread, one driver exchange a step, with the window's events handled
// between the steps. Each step runs with the driver held; while a worker has it, the next step waits for
// its turn without holding the window.
class TPageSteps {
  public:
    // A step, with the driver held: true to go on. A step that raises ends the work; the caller's handler
    // gets what it raised.
    using TStep = std::function<bool(TDriver& driver)>;
    using TFinished = std::function<void(std::exception_ptr error)>;

    explicit TPageSteps(TPage& page);
    ~TPageSteps();
    TPageSteps(const TPageSteps&) = delete;
    TPageSteps& operator=(const TPageSteps&) = delete;

    // Runs `step` from the event loop until it returns false, raises or the work is stopped; then
    // `finished`, with the failure if there was one. Nothing while running.
    void Start(TStep step, TFinished finished);
    // Ends the work after the step in progress; `finished` runs.
    void Stop();
    bool Running() const { return running_; }

  private:
    void Next();
    void End(std::exception_ptr error);

    TPage& page_;
    QTimer* timer_;
    TStep step_;
    TFinished finished_;
    bool running_ = false;
    unsigned run_ = 0;  // the work started last: a step queued for an earlier one is dropped
};

// What the window does with the driver held, on its thread. What it returns (if anything) runs next, once
// the driver is let go: the place to show a window.
using TDriverWork = std::function<std::function<void()>(TDriver& driver)>;

class TPage : public QWidget {
  public:
    TPage(TPages& pages, QString caption);
    // Waits for the worker thread (StopWork has normally stopped it before).
    ~TPage() override;

    const QString& Caption() const { return caption_; }
    // Whether an operation runs: the worker's job, or the page's own steps.
    bool Busy() const { return worker_.Running() || StepsRunning(); }
    // Whether the worker's job runs (until its finished message has been taken).
    bool WorkerRunning() const { return worker_.Running(); }
    // Stops the page's steps and asks its worker to stop, without waiting for it.
    void StopWork();
    // Waits for the worker's thread, before the page or the driver goes.
    void WaitForWorker() { worker_.StopAndWait(); }

    // Runs `work` with the driver held on the window's thread: now, or once the worker that has the driver
    // lets it go (TPages::WithDriver). What it raises is shown.
    void WithDriver(TDriverWork work);
    void ShowError(const std::exception& e);
    void ShowError(const QString& text);
    // Shows what `error` holds; nothing for none.
    void ShowFailure(const std::exception_ptr& error);

    // Pages that play the register's side answer, while they are the visible page, the commands the driver
    // receives.
    virtual bool AnswersCommands() const { return false; }
    virtual void CommandReceived(std::int32_t /*id*/) {}
    // The page has become the visible one.
    virtual void Activated() {}

  protected:
    // The shared driver, created by its ProgID on first use. Throws as TPages::Driver.
    TDriver& Driver();
    TPages& Pages() { return pages_; }

    // Runs `action` on the window's thread; what it raises is shown. False when it raised.
    bool Guarded(const std::function<void()>& action);

    // Starts `job` on the worker thread; the driver is created first, on this thread. False, with the
    // failure shown, when the driver cannot be had.
    bool StartWork(const std::function<void(TDriver&, TPageWorker::TJob&)>& job);
    TPageWorker& Worker() { return worker_; }
    // The worker's messages, on the window's thread; a failure that ended the job is shown before
    // WorkFinished.
    virtual void WorkStarted() {}
    virtual void WorkProgress(const TWorkerEvent& /*event*/) {}
    virtual void WorkFinished(const TWorkerEvent& /*event*/) {}

    // Steps run on the window's thread (the rest registers, the link test).
    virtual bool StepsRunning() const { return false; }
    virtual void StopSteps() {}

    bool event(QEvent* event) override;

  private:
    void TakeWorkerEvent(TWorkerEvent& event);

    TPages& pages_;
    QString caption_;
    TPageWorker worker_;
};

// A page that plays the register's side while it is the visible page: it opens the port when shown and
// answers, one by one, the commands the driver receives.
class TAnsweringPage : public TPage {
  public:
    using TPage::TPage;

    TAnsweringPage(TPages& pages, QString caption);

    bool AnswersCommands() const override { return true; }
    // Takes the command numbered `id` from the driver and hands it to Answer, once the driver is free; an
    // answer the driver did not send is shown on the page, what else fails in a message. A command the
    // driver no longer has is passed over.
    void CommandReceived(std::int32_t id) override;
    // Opens the port, so that the register's requests come in.
    void Activated() override;

  protected:
    // The command has been taken and deleted from the driver's list; its properties are current. Returns
    // the result of the answer's SendCommand (0 when nothing was to be sent).
    virtual LONG Answer(TDriver& driver, const TReceivedCommand& command) = 0;
    // Called on the window's thread once the driver is let go after an answer.
    virtual void Answered() {}
    // The line that says which answer the driver did not send ("Ответ на 80h не отправлен: (-3) ..."),
    // for the page's layout; empty until one fails.
    QLabel* FailureLine() const { return lblFailure_; }
    void ClearFailure();

  private:
    QLabel* lblFailure_;
};

// Makes the driver object the pages share; by default TDriver::Create, by the registered ProgID.
using TDriverFactory = std::function<std::unique_ptr<TDriver>()>;

class TPages {
  public:
    // The pages are shown in `panel`; the driver comes from `createDriver` (empty: TDriver::Create).
    explicit TPages(QWidget& panel, TDriverFactory createDriver = {});
    // Stops every page's work, then lets the driver go.
    ~TPages();
    TPages(const TPages&) = delete;
    TPages& operator=(const TPages&) = delete;

    // Adds a page, made for this list; it becomes a child of the panel.
    void Add(TPage* page);
    int Count() const { return static_cast<int>(items_.size()); }
    TPage& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    // -1 before the first page is shown.
    int VisibleIndex() const { return visible_; }
    // Makes page `index` fill the panel; the one shown before is hidden. Out of range: nothing.
    void Show(int index);

    bool AnyBusy() const;
    // Whether a page's worker runs.
    bool AnyWorkerRunning() const;
    // Stops every page's steps, drops the work that waits for the driver and asks every worker to stop,
    // without waiting for any.
    void StopAll();

    // The one driver object, created by its ProgID on the first call, its IDriverEvents delivered to the
    // visible page when that page answers commands. Throws cmd::ECmdDriverError when it cannot be created
    // or refuses the subscription.
    TDriver& Driver();
    bool HasDriver() const { return driver_ != nullptr; }
    // The driver's Version, read when it was created: the about box never waits for a worker's call.
    const std::string& DriverVersion();

    // Runs `work` for `page` with the driver held, on the window's thread: at once when no worker has the
    // driver, else as soon as the worker lets it go, in the order asked. It never waits: meanwhile the
    // window's events are handled and BusyText says that the window waits. What `work` raises is shown on
    // the page; what it returns runs after the driver is let go. Work of a page that is gone is dropped.
    void WithDriver(TPage& page, TDriverWork work);
    // How many pieces of work wait for the driver.
    int Waiting() const { return static_cast<int>(queue_.size()); }

    // The line the window shows while work is in progress: the pages whose workers run and whether the
    // window waits for the driver; empty when nothing runs.
    QString BusyText() const;
    // Called whenever BusyText may have changed: a worker started or ended, work began or ended waiting.
    std::function<void()> OnStateChanged;
    void StateChanged();

  private:
    struct TWaiting {
        QPointer<TPage> page;
        TDriverWork work;
    };

    void CommandReceived(std::int32_t id);
    // Runs the waiting work if the driver is free now.
    void RunWaiting();

    QStackedLayout* stack_;
    TDriverFactory createDriver_;
    std::vector<TPage*> items_;  // owned by the panel
    int visible_ = -1;
    std::unique_ptr<TDriver> driver_;
    std::string driverVersion_;
    std::unique_ptr<TEventDriver> events_;  // after the driver: disconnected before it goes
    std::unique_ptr<QObject> deliveries_;   // the events' and the releases' queued deliveries end with it
    std::deque<TWaiting> queue_;
    bool running_ = false;  // RunWaiting is at work (a window it shows runs the event loop)
};

}  // namespace tessel::tst
