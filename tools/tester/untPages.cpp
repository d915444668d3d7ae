#include "tools/tester/untPages.h"

#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedLayout>
#include <QStringList>
#include <QTimer>
#include <optional>
#include <utility>

#include "common/platform/TextFormat.h"
#include "common/qt/ProgramWindows.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/search/untEvent.h"
#include "tools/tester/untAnswer.h"
#include "tools/tester/untReg.h"

namespace tessel::tst {

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QSpinBox* NewNumber(QWidget* parent, const char* name, int value) {
    auto* edit = new QSpinBox(parent);
    edit->setObjectName(name);
    edit->setRange(0, kLastRegisterNumber);
    edit->setValue(value);
    return edit;
}

QPlainTextEdit* NewMemo(QWidget* parent, const char* name, bool readOnly) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(readOnly);
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return memo;
}

// ---- TPageSteps ----

TPageSteps::TPageSteps(TPage& page) : page_(page), timer_(new QTimer(&page)) {
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Next(); });
}

TPageSteps::~TPageSteps() {
    timer_->stop();
    ++run_;
}

void TPageSteps::Start(TStep step, TFinished finished) {
    if (running_) return;
    step_ = std::move(step);
    finished_ = std::move(finished);
    running_ = true;
    ++run_;
    timer_->start();
}

void TPageSteps::Stop() {
    if (running_) End(nullptr);
}

void TPageSteps::Next() {
    // The step waits for the driver, when a worker has it, without holding the window; the step of a work
    // that was stopped meanwhile is dropped.
    page_.WithDriver([this, run = run_](TDriver& driver) -> std::function<void()> {
        if (run != run_) return {};
        bool more = false;
        std::exception_ptr error;
        try {
            more = step_(driver);
        } catch (...) {
            error = std::current_exception();
        }
        return [this, run, more, error] {
            if (run != run_) return;
            if (error || !more) {
                End(error);
            } else {
                timer_->start();
            }
        };
    });
}

void TPageSteps::End(std::exception_ptr error) {
    timer_->stop();
    running_ = false;
    ++run_;
    // The handler may show a window, whose loop must not run further steps.
    const TFinished finished = std::exchange(finished_, nullptr);
    step_ = nullptr;
    if (finished) finished(error);
}

// ---- TPage ----

TPage::TPage(TPages& pages, QString caption) : pages_(pages), caption_(std::move(caption)), worker_(*this) {}

TPage::~TPage() {
    worker_.StopAndWait();
}

void TPage::StopWork() {
    StopSteps();
    worker_.Stop();
}

void TPage::WithDriver(TDriverWork work) {
    pages_.WithDriver(*this, std::move(work));
}

TDriver& TPage::Driver() {
    return pages_.Driver();
}

void TPage::ShowError(const QString& text) {
    tessel::qt::ShowErrorBox(this, window()->windowTitle(), text);
}

void TPage::ShowError(const std::exception& e) {
    ShowError(QString::fromStdString(ErrorText(e)));
}

void TPage::ShowFailure(const std::exception_ptr& error) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowError(e);
    } catch (...) {
        ShowError(QStringLiteral("Неизвестная ошибка"));
    }
}

bool TPage::Guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        ShowError(e);
        return false;
    }
}

bool TPage::StartWork(const std::function<void(TDriver&, TPageWorker::TJob&)>& job) {
    TDriver* driver = nullptr;
    if (!Guarded([&] { driver = &Driver(); })) return false;
    worker_.Start([driver, job](TPageWorker::TJob& self) { job(*driver, self); });
    pages_.StateChanged();
    return true;
}

bool TPage::event(QEvent* event) {
    if (TWorkerEvent* message = TWorkerEvent::From(event)) {
        if (worker_.Current(*message)) TakeWorkerEvent(*message);
        return true;
    }
    return QWidget::event(event);
}

void TPage::TakeWorkerEvent(TWorkerEvent& event) {
    switch (static_cast<int>(event.type())) {
        case wmWorkerStart:
            WorkStarted();
            break;
        case wmWorkerProgress:
            WorkProgress(event);
            break;
        case wmWorkerQuestion: {
            const auto answer = QMessageBox::question(this, window()->windowTitle(), event.Text,
                                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            worker_.Answer(answer == QMessageBox::Yes);
            break;
        }
        case wmWorkerFinished:
            worker_.Finish();
            pages_.StateChanged();
            ShowFailure(event.Error);
            WorkFinished(event);
            break;
    }
}

// ---- TAnsweringPage ----

TAnsweringPage::TAnsweringPage(TPages& pages, QString caption) : TPage(pages, std::move(caption)) {
    lblFailure_ = new QLabel(this);
    lblFailure_->setObjectName("lblFailure");
    lblFailure_->setWordWrap(true);
    lblFailure_->setStyleSheet("color: #b00000");
}

void TAnsweringPage::ClearFailure() {
    lblFailure_->clear();
}

void TAnsweringPage::Activated() {
    WithDriver([](TDriver& driver) -> std::function<void()> {
        driver.Open();
        return {};
    });
}

void TAnsweringPage::CommandReceived(std::int32_t id) {
    // The command's properties stay its own until the answer is sent: all of it in one turn with the driver.
    WithDriver([this, id](TDriver& driver) -> std::function<void()> {
        LONG taken = 0;
        const auto command = TakeCommand(driver, id, taken);
        if (!command) return {};
        const LONG result = Answer(driver, *command);
        QString failure;
        if (result != 0) {
            failure = QString::fromStdString(
                FormatText("Ответ на %02Xh не отправлен: ", static_cast<unsigned>(command->Code)) +
                ErrorText(EDriverError(driver.GetText("ResultDescription"), result)));
        }
        return [this, failure] {
            if (!failure.isEmpty()) lblFailure_->setText(failure);
            Answered();
        };
    });
}

// ---- TPages ----

TPages::TPages(QWidget& panel, TDriverFactory createDriver)
    : stack_(new QStackedLayout(&panel)),
      createDriver_(createDriver ? std::move(createDriver) : [] { return TDriver::Create(); }),
      deliveries_(std::make_unique<QObject>()) {
    stack_->setContentsMargins(0, 0, 0, 0);
}

TPages::~TPages() {
    StopAll();
    for (TPage* page : items_) page->WaitForWorker();
    if (driver_) driver_->Turns().SetOnReleased(nullptr);
    events_.reset();
    deliveries_.reset();
    driver_.reset();
}

void TPages::Add(TPage* page) {
    items_.push_back(page);
    stack_->addWidget(page);
}

void TPages::Show(int index) {
    if (index < 0 || index >= Count() || index == visible_) return;
    visible_ = index;
    stack_->setCurrentWidget(items_[static_cast<std::size_t>(index)]);
    items_[static_cast<std::size_t>(index)]->Activated();
}

bool TPages::AnyBusy() const {
    for (const TPage* page : items_)
        if (page->Busy()) return true;
    return false;
}

bool TPages::AnyWorkerRunning() const {
    for (const TPage* page : items_)
        if (page->WorkerRunning()) return true;
    return false;
}

void TPages::StopAll() {
    // The window will not take its turn: a worker must not wait for it.
    queue_.clear();
    if (driver_) driver_->Turns().ForgoTurn();
    for (TPage* page : items_) page->StopWork();
    StateChanged();
}

void TPages::StateChanged() {
    if (OnStateChanged) OnStateChanged();
}

QString TPages::BusyText() const {
    QStringList working;
    for (const TPage* page : items_)
        if (page->WorkerRunning()) working << "«" + page->Caption() + "»";
    QString text;
    if (!working.isEmpty()) text = "Выполняется операция: " + working.join(", ") + ".";
    if (!queue_.empty())
        text += QString(text.isEmpty() ? "" : " ") + "Окно ждёт окончания обращения к драйверу.";
    return text;
}

void TPages::WithDriver(TPage& page, TDriverWork work) {
    try {
        Driver();
    } catch (const std::exception& e) {
        page.ShowError(e);
        return;
    }
    queue_.push_back({&page, std::move(work)});
    RunWaiting();
}

void TPages::RunWaiting() {
    // A window shown by a piece of work runs the event loop, which may come here again: the outer call
    // goes on with the rest once that window has closed.
    if (running_ || queue_.empty() || !driver_) {
        // Nothing waits (it was dropped): no worker may wait for a turn the window will not take.
        if (!running_ && queue_.empty() && driver_) driver_->Turns().ForgoTurn();
        StateChanged();
        return;
    }
    running_ = true;
    std::vector<std::function<void()>> after;
    bool held = false;
    {
        const std::optional<TDriver::THold> hold = driver_->TryHold();
        // Else a worker has the driver: its release brings the window back here (see Driver()).
        held = hold.has_value();
        if (hold) {
            while (!queue_.empty()) {
                TWaiting waiting = std::move(queue_.front());
                queue_.pop_front();
                if (waiting.page.isNull()) continue;
                try {
                    if (auto next = waiting.work(*driver_)) after.push_back(std::move(next));
                } catch (...) {
                    after.push_back([page = waiting.page, error = std::current_exception()] {
                        if (!page.isNull()) page->ShowFailure(error);
                    });
                }
            }
        }
    }
    running_ = false;
    StateChanged();
    for (const auto& next : after) next();
    // Work that came while a window of the last round was open.
    if (held && !queue_.empty()) RunWaiting();
}

TDriver& TPages::Driver() {
    if (driver_) return *driver_;
    auto driver = createDriver_();
    // Handled once the driver's dispatch has returned, so that no driver call runs inside its event.
    auto events = std::make_unique<TEventDriver>(
        ComPtr<IUnknown>(&driver->Dispatch()), DIID_IDriverEvents, [this](std::int32_t id) {
            QMetaObject::invokeMethod(
                deliveries_.get(), [this, id] { CommandReceived(id); }, Qt::QueuedConnection);
        });
    if (const HRESULT hr = events->TryConnect(); FAILED(hr))
        throw cmd::ECmdDriverError("Не удалось подписаться на события драйвера: " + cmd::OleErrorText(hr),
                                   hr);
    // Read now, while no worker can have the driver.
    driverVersion_ = driver->GetText("Version");
    // A worker that let the driver go while the window waits for it brings the window back to its work.
    driver->Turns().SetOnReleased([this] {
        QMetaObject::invokeMethod(
            deliveries_.get(), [this] { RunWaiting(); }, Qt::QueuedConnection);
    });
    driver_ = std::move(driver);
    events_ = std::move(events);
    return *driver_;
}

const std::string& TPages::DriverVersion() {
    Driver();
    return driverVersion_;
}

void TPages::CommandReceived(std::int32_t id) {
    if (visible_ < 0) return;
    TPage& page = Items(visible_);
    if (page.AnswersCommands()) page.CommandReceived(id);
}

}  // namespace tessel::tst
