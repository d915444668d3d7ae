#pragma once
// The calling thread's message queue dispatched from Qt's event loop: a socket notifier on the queue's
// descriptor, which is readable while messages wait. The driver raises its events, and the tables and search
// engines deliver their notifications, through that queue; with the bridge they arrive while the thread runs
// any Qt loop, a modal dialog's included.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace tessel {
class MessageQueue;
}

namespace tessel::qt {

class MessageQueueBridge final : public QObject {
  public:
    // The bridge of the calling thread, made on the first call. On the application object's thread it is a
    // child of that object and goes with it; on another thread it goes when the thread ends. The thread needs
    // a Qt event dispatcher (the application object's thread, or a QThread) for it to work.
    static MessageQueueBridge& ForCurrentThread();

    ~MessageQueueBridge() override;

    MessageQueue& Queue() const { return *queue_; }
    // Messages dispatched through the bridge so far.
    std::size_t Dispatched() const { return dispatched_; }

  private:
    explicit MessageQueueBridge(QObject* parent);
    void Dispatch();

    std::shared_ptr<MessageQueue> queue_;
    QSocketNotifier* notifier_;
    std::size_t dispatched_ = 0;
};

}  // namespace tessel::qt
