#pragma once
// A page's worker thread. The job runs on a thread of its own (with its own COM apartment) and calls the
// shared driver object from there; it reaches the window only through events posted to the page: start
// (1025), progress (1026) and finished (1027), and a question (1028) for which it waits until the window
// has answered or the work is stopped. So the window never waits for the driver longer than it takes to
// stop a job between two exchanges.

#include <QEvent>
#include <QString>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class QObject;

namespace tessel::tst {

// The messages a worker posts, numbered as the window messages the program has always used.
enum TWorkerMessage : int {
    wmWorkerStart = 1025,
    wmWorkerProgress = 1026,
    wmWorkerFinished = 1027,
    wmWorkerQuestion = 1028,
};

class TWorkerEvent final : public QEvent {
  public:
    TWorkerEvent(TWorkerMessage message, unsigned job, int count = 0, QString text = {})
        : QEvent(static_cast<QEvent::Type>(message)), Job(job), Count(count), Text(std::move(text)) {}

    // A worker's event is one of the four messages.
    static TWorkerEvent* From(QEvent* event);

    unsigned Job;              // the number of the job that posted it
    int Count;                 // progress: how much is done
    QString Text;              // progress: a line to show; question: the question
    std::exception_ptr Error;  // finished: what stopped the job, if anything did
};

class TPageWorker {
  public:
    class TJob;
    using TJobFunction = std::function<void(TJob&)>;

    // What the job sees of its worker, on the worker's thread.
    class TJob {
      public:
        bool Stopped() const;
        // Posts a progress message.
        void Progress(int count, QString text = {});
        // Posts the question and waits for the window's answer; false when the work is stopped meanwhile.
        bool Ask(const QString& question);

      private:
        friend class TPageWorker;
        TJob(TPageWorker& worker, unsigned number) : worker_(worker), number_(number) {}
        TPageWorker& worker_;
        unsigned number_;
    };

    // Events go to `receiver`, which must outlive the worker.
    explicit TPageWorker(QObject& receiver) : receiver_(receiver) {}
    // Stops and waits for the thread.
    ~TPageWorker();
    TPageWorker(const TPageWorker&) = delete;
    TPageWorker& operator=(const TPageWorker&) = delete;

    // Starts `job` on a new thread: posts the start message, runs it, posts the finished message with the
    // exception that ended it, if any. Throws std::logic_error while a job is running.
    void Start(TJobFunction job);
    // From Start until the finished message has been taken by Finish.
    bool Running() const { return thread_.joinable(); }
    // Whether `event` comes from the job started last: a job stopped and waited for may leave messages
    // behind, which are stale once another has started.
    bool Current(const TWorkerEvent& event) const { return event.Job == job_; }
    // Asks the job to stop; a question it waits on is answered no. Any thread.
    void Stop();
    // On the finished message: waits for the thread, which is ending.
    void Finish();
    // Stops the job and waits for its thread.
    void StopAndWait();
    // The window's answer to the question the job waits on; ignored when none waits.
    void Answer(bool yes);

  private:
    void Post(TWorkerEvent* event);

    QObject& receiver_;
    std::thread thread_;
    unsigned job_ = 0;  // the number of the job started last; the window's thread only
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool asking_ = false;
    std::optional<bool> answer_;
};

}  // namespace tessel::tst
