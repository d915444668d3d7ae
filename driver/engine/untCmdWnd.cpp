#include "driver/engine/untCmdWnd.h"

#include <utility>

TCmdWnd::TCmdWnd(TCommandEvent onCommand, std::uint32_t postWaitMs)
    : window_(std::make_unique<tessel::MessageWindow>(
          [this](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
              WindowProc(msg, wParam, lParam);
          })),
      onCommand_(std::move(onCommand)),
      postWaitMs_(postWaitMs) {}

// The window goes first, waiting for a delivery in progress, so that no call reaches a half-destroyed object.
TCmdWnd::~TCmdWnd() {
    Close();
}

bool TCmdWnd::Post(std::uint32_t number) {
    return window_->PostWait(kCommandMessage, number, 0, postWaitMs_) == tessel::PostResult::Posted;
}

void TCmdWnd::Close() {
    window_->Destroy();
}

void TCmdWnd::WindowProc(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t /*lParam*/) {
    if (msg != kCommandMessage) return;
    lastCommand_ = static_cast<std::uint32_t>(wParam);
    if (onCommand_) onCommand_(*this);
}
