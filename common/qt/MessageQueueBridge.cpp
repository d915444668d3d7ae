#include "common/qt/MessageQueueBridge.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <exception>

#include "common/platform/MessageQueue.h"

namespace tessel::qt {

namespace {

// The bridge of this thread, whoever owns it.
thread_local QPointer<MessageQueueBridge> t_bridge;
// The bridge of a thread without the application object, freed when the thread ends.
thread_local std::unique_ptr<MessageQueueBridge> t_ownedBridge;

}  // namespace

MessageQueueBridge& MessageQueueBridge::ForCurrentThread() {
    if (!t_bridge) {
        QCoreApplication* app = QCoreApplication::instance();
        const bool appThread = app != nullptr && app->thread() == QThread::currentThread();
        auto* bridge = new MessageQueueBridge(appThread ? app : nullptr);
        if (!appThread) t_ownedBridge.reset(bridge);
        t_bridge = bridge;
    }
    return *t_bridge;
}

MessageQueueBridge::MessageQueueBridge(QObject* parent)
    : QObject(parent),
      queue_(MessageQueue::ForCurrentThread()),
      notifier_(new QSocketNotifier(queue_->Fd(), QSocketNotifier::Read, this)) {
    // The descriptor stays readable until the queue is empty, so a message posted during a dispatch wakes
    // the loop again; a procedure that runs a modal loop is dispatched into by that loop.
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Dispatch(); });
}

MessageQueueBridge::~MessageQueueBridge() = default;

void MessageQueueBridge::Dispatch() {
    try {
        dispatched_ += queue_->DispatchPending();
    } catch (const std::exception& e) {
        // A procedure's failure must not unwind through Qt's event loop; the messages after it wait for
        // the next wake-up.
        qWarning("tessel: a queued message failed: %s", e.what());
    }
}

}  // namespace tessel::qt
