#pragma once
// The test program's pages and the list that holds them with the one driver object they share.
//
// A page is a borderless form that fills the main window's data panel while it is the visible one. Its work
// either runs on its worker thread (untWorker.h) or in steps on the window's thread, one driver exchange a
// step, so that the window never waits longer than one exchange. Every failure a page meets is shown to
// the user, and the page stops.

#include <QObject>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "tools/tester/Driver.h"
#include "tools/tester/untWorker.h"

class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStackedLayout;
class QTimer;
class TEventDriver;

namespace tessel::tst {

class TPages;
struct TReceivedCommand;

// The widgets the pages are made of, named for the tests that drive them.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text);
// A register or block number, 0..65535.
QSpinBox* NewNumber(QWidget* parent, const char* name, int value);
// A text box in the fixed font, so that the lines' columns stand one under another.
QPlainTextEdit* NewMemo(QWidget* parent, const char* name, bool readOnly);

// Work in steps on the window's thread, one driver exchange a step, with the window's events handled
// between the steps.
class TPageSteps {
  public:
    // A step: true to go on. A step that raises ends the work; the caller's handler gets what it raised.
    using TStep = std::function<bool()>;
    using TFinished = std::function<void(std::exception_ptr error)>;

    explicit TPageSteps(QObject& owner);
    ~TPageSteps();
    TPageSteps(const TPageSteps&) = delete;
    TPageSteps& operator=(const TPageSteps&) = delete;

    // Runs `step` from the event loop until it returns false, raises or the work is stopped; then
    // `finished`, with the failure if there was one. Nothing while running.
    void Start(TStep step, TFinished finished);
    // Ends the work after the step in progress; `finished` runs.
    void Stop();
    bool Running() const;

  private:
    void RunStep();
    void End(std::exception_ptr error);

    QTimer* timer_;
    TStep step_;
    TFinished finished_;
};

class TPage : public QWidget {
  public:
    TPage(TPages& pages, QString caption);
    // Waits for the worker thread (StopWork has normally stopped it before).
    ~TPage() override;

    const QString& Caption() const { return caption_; }
    // Whether an operation runs: the worker's job, or the page's own steps.
    bool Busy() const { return worker_.Running() || StepsRunning(); }
    // Stops what runs and waits for the worker, before the page or the driver goes.
    void StopWork();

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
    void ShowError(const std::exception& e);
    void ShowError(const QString& text);
    // Shows what `error` holds; nothing for none.
    void ShowFailure(const std::exception_ptr& error);

    // The shared driver with its port open; null, with the failure shown, when it cannot be had.
    TDriver* OpenDriver();
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

    bool AnswersCommands() const override { return true; }
    // Takes the command numbered `id` from the driver and hands it to Answer; what fails is shown. A command
    // the driver no longer has is passed over.
    void CommandReceived(std::int32_t id) override;
    // Opens the port, so that the register's requests come in.
    void Activated() override;

  protected:
    // The command has been taken and deleted from the driver's list; its properties are current.
    virtual void Answer(TDriver& driver, const TReceivedCommand& command) = 0;
};

class TPages {
  public:
    // The pages are shown in `panel`.
    explicit TPages(QWidget& panel);
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
    void StopAll();

    // The one driver object, created by its ProgID on the first call, its IDriverEvents delivered to the
    // visible page when that page answers commands. Throws cmd::ECmdDriverError when it cannot be created
    // or refuses the subscription.
    TDriver& Driver();
    bool HasDriver() const { return driver_ != nullptr; }

  private:
    void CommandReceived(std::int32_t id);

    QStackedLayout* stack_;
    std::vector<TPage*> items_;  // owned by the panel
    int visible_ = -1;
    std::unique_ptr<TDriver> driver_;
    std::unique_ptr<TEventDriver> events_;  // after the driver: disconnected before it goes
    std::unique_ptr<QObject> deliveries_;   // the events' queued deliveries end with it
};

}  // namespace tessel::tst
