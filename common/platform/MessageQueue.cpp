// What the message queues do alike on every platform; the queue itself is the backend's.
#include "common/platform/MessageQueue.h"

#include <stdexcept>
#include <string>

namespace tessel {

void MessageQueue::RequireOwner(const char* what) const {
    if (!IsOwnerThread()) {
        throw std::logic_error(std::string("MessageQueue::") + what + " called off the queue's own thread");
    }
}

MessageWindow::~MessageWindow() {
    Destroy();
}

bool MessageWindow::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostWait(msg, wParam, lParam, 0) == PostResult::Posted;
}

}  // namespace tessel
