#include "driver/tables/untProgress.h"

#include <stdexcept>

#include "common/platform/MessageQueue.h"

namespace {

// Messages of the console window; wParam carries the generation of the wait they belong to.
constexpr std::uint32_t kFinishMessage = 0x0400 + 1;
constexpr std::uint32_t kAbortMessage = 0x0400 + 2;

// The modal wait looks at the completion flag at least this often, should a completion message find the
// queue full.
constexpr std::uint32_t kPumpSliceMs = 250;
// How long a worker waits for room in a full queue for its completion message.
constexpr std::uint32_t kPostWaitMs = 1000;

}  // namespace

TConsoleProgress::TConsoleProgress(TQuestion askAbort, TQuestion askContinue)
    : askAbort_(std::move(askAbort)),
      askContinue_(std::move(askContinue)),
      window_(std::make_unique<tessel::MessageWindow>(
          [this](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) { Handle(msg, wParam); })) {}

TConsoleProgress::~TConsoleProgress() = default;

void TConsoleProgress::Change(const std::function<void(TState&)>& change) {
    TState copy;
    {
        std::lock_guard lock(mutex_);
        change(state_);
        copy = state_;
    }
    if (onUpdate_) onUpdate_(copy);
}

TConsoleProgress::TState TConsoleProgress::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void TConsoleProgress::SetCaption(const std::string& caption) {
    Change([&](TState& s) { s.caption = caption; });
}

void TConsoleProgress::SetMax(int max) {
    Change([&](TState& s) { s.max = max; });
}

void TConsoleProgress::SetInfo(TProgressLine line, const std::string& text) {
    Change([&](TState& s) { s.info[static_cast<int>(line)] = text; });
}

void TConsoleProgress::SetPosition(int position) {
    Change([&](TState& s) { s.position = position; });
}

void TConsoleProgress::StepIt() {
    // A bar wraps to its start when a step takes it past the maximum.
    Change([](TState& s) { s.position = s.position + 1 > s.max ? 0 : s.position + 1; });
}

void TConsoleProgress::Prepare() {
    std::lock_guard lock(mutex_);
    ++generation_;
    finished_ = false;
    aborted_ = false;
}

bool TConsoleProgress::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void TConsoleProgress::ShowModal(const std::function<bool()>& onAbort) {
    tessel::MessageQueue& queue = window_->Queue();
    if (!queue.IsOwnerThread()) throw std::logic_error("the progress window belongs to another thread");
    onAbort_ = &onAbort;
    modal_ = true;
    struct TModalEnd {
        TConsoleProgress& self;
        ~TModalEnd() {
            self.modal_ = false;
            self.onAbort_ = nullptr;
        }
    } modalEnd{*this};
    while (!aborted_ && !Finished()) queue.WaitAndDispatch(kPumpSliceMs);
}

void TConsoleProgress::Finish() {
    std::uintptr_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        generation = generation_;
    }
    // Only wakes the modal wait; the flag above is what ends it.
    window_->PostWait(kFinishMessage, generation, 0, kPostWaitMs);
}

void TConsoleProgress::PressAbort() {
    std::uintptr_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    window_->Post(kAbortMessage, generation, 0);
}

void TConsoleProgress::Handle(std::uint32_t msg, std::uintptr_t generation) {
    if (msg != kAbortMessage || !modal_ || aborted_ || onAbort_ == nullptr) return;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || finished_) return;
    }
    if ((*onAbort_)()) aborted_ = true;
}

bool TConsoleProgress::AskAbort(const std::string& text) {
    return askAbort_ ? askAbort_(text) : true;
}

bool TConsoleProgress::AskContinue(const std::string& text) {
    return askContinue_ ? askContinue_(text) : false;
}
