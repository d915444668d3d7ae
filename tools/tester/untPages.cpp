#include "tools/tester/untPages.h"

#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedLayout>
#include <QTimer>
#include <utility>

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

TPageSteps::TPageSteps(QObject& owner) : timer_(new QTimer(&owner)) {
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { RunStep(); });
}

TPageSteps::~TPageSteps() {
    timer_->stop();
}

void TPageSteps::Start(TStep step, TFinished finished) {
    if (Running()) return;
    step_ = std::move(step);
    finished_ = std::move(finished);
    timer_->start();
}

void TPageSteps::Stop() {
    if (Running()) End(nullptr);
}

bool TPageSteps::Running() const {
    return timer_->isActive();
}

void TPageSteps::RunStep() {
    try {
        if (step_()) return;
        End(nullptr);
    } catch (...) {
        End(std::current_exception());
    }
}

void TPageSteps::End(std::exception_ptr error) {
    timer_->stop();
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
    worker_.StopAndWait();
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

TDriver* TPage::OpenDriver() {
    TDriver* driver = nullptr;
    Guarded([&] {
        TDriver& shared = Driver();
        shared.Open();
        driver = &shared;
    });
    return driver;
}

bool TPage::StartWork(const std::function<void(TDriver&, TPageWorker::TJob&)>& job) {
    TDriver* driver = nullptr;
    if (!Guarded([&] { driver = &Driver(); })) return false;
    worker_.Start([driver, job](TPageWorker::TJob& self) { job(*driver, self); });
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
            ShowFailure(event.Error);
            WorkFinished(event);
            break;
    }
}

// ---- TAnsweringPage ----

void TAnsweringPage::Activated() {
    OpenDriver();
}

void TAnsweringPage::CommandReceived(std::int32_t id) {
    Guarded([&] {
        TDriver& driver = Driver();
        // The command's properties stay its own until the answer is sent.
        const auto sequence = driver.Sequence();
        LONG result = 0;
        if (const auto command = TakeCommand(driver, id, result)) Answer(driver, *command);
    });
}

// ---- TPages ----

TPages::TPages(QWidget& panel)
    : stack_(new QStackedLayout(&panel)), deliveries_(std::make_unique<QObject>()) {
    stack_->setContentsMargins(0, 0, 0, 0);
}

TPages::~TPages() {
    StopAll();
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

void TPages::StopAll() {
    for (TPage* page : items_) page->StopWork();
}

TDriver& TPages::Driver() {
    if (driver_) return *driver_;
    auto driver = TDriver::Create();
    // Handled once the driver's dispatch has returned, so that no driver call runs inside its event.
    auto events = std::make_unique<TEventDriver>(
        ComPtr<IUnknown>(&driver->Dispatch()), DIID_IDriverEvents, [this](std::int32_t id) {
            QMetaObject::invokeMethod(
                deliveries_.get(), [this, id] { CommandReceived(id); }, Qt::QueuedConnection);
        });
    if (const HRESULT hr = events->TryConnect(); FAILED(hr))
        throw cmd::ECmdDriverError("Не удалось подписаться на события драйвера: " + cmd::OleErrorText(hr),
                                   hr);
    driver_ = std::move(driver);
    events_ = std::move(events);
    return *driver_;
}

void TPages::CommandReceived(std::int32_t id) {
    if (visible_ < 0) return;
    TPage& page = Items(visible_);
    if (page.AnswersCommands()) page.CommandReceived(id);
}

}  // namespace tessel::tst
