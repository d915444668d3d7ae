#include "tools/tester/untWorker.h"

#include <QCoreApplication>
#include <stdexcept>

#include "common/com/ComCreate.h"

namespace tessel::tst {

namespace {

// The worker's COM apartment, for the length of its job.
class TApartment {
  public:
    TApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~TApartment() { CoUninitialize(); }
    TApartment(const TApartment&) = delete;
    TApartment& operator=(const TApartment&) = delete;
};

}  // namespace

TWorkerEvent* TWorkerEvent::From(QEvent* event) {
    switch (static_cast<int>(event->type())) {
        case wmWorkerStart:
        case wmWorkerProgress:
        case wmWorkerFinished:
        case wmWorkerQuestion:
            return static_cast<TWorkerEvent*>(event);
        default:
            return nullptr;
    }
}

bool TPageWorker::TJob::Stopped() const {
    std::lock_guard lock(worker_.mutex_);
    return worker_.stopping_;
}

void TPageWorker::TJob::Progress(int count, QString text) {
    worker_.Post(new TWorkerEvent(wmWorkerProgress, number_, count, std::move(text)));
}

bool TPageWorker::TJob::Ask(const QString& question) {
    std::unique_lock lock(worker_.mutex_);
    if (worker_.stopping_) return false;
    worker_.asking_ = true;
    worker_.answer_.reset();
    lock.unlock();
    worker_.Post(new TWorkerEvent(wmWorkerQuestion, number_, 0, question));
    lock.lock();
    worker_.changed_.wait(lock, [this] { return worker_.answer_.has_value() || worker_.stopping_; });
    worker_.asking_ = false;
    return !worker_.stopping_ && *worker_.answer_;
}

TPageWorker::~TPageWorker() {
    StopAndWait();
}

void TPageWorker::Post(TWorkerEvent* event) {
    QCoreApplication::postEvent(&receiver_, event);
}

void TPageWorker::Start(TJobFunction job) {
    if (Running()) throw std::logic_error("the page's worker is running");
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        asking_ = false;
        answer_.reset();
    }
    const unsigned number = ++job_;
    thread_ = std::thread([this, number, job = std::move(job)] {
        const TApartment apartment;
        Post(new TWorkerEvent(wmWorkerStart, number));
        auto* finished = new TWorkerEvent(wmWorkerFinished, number);
        try {
            TJob self(*this, number);
            job(self);
        } catch (...) {
            finished->Error = std::current_exception();
        }
        Post(finished);
    });
}

void TPageWorker::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

void TPageWorker::Finish() {
    if (thread_.joinable()) thread_.join();
}

void TPageWorker::StopAndWait() {
    Stop();
    Finish();
}

void TPageWorker::Answer(bool yes) {
    {
        std::lock_guard lock(mutex_);
        if (!asking_) return;
        answer_ = yes;
    }
    changed_.notify_all();
}

}  // namespace tessel::tst
