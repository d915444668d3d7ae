#include "tools/tessel/TransferProgress.h"

#include "common/platform/MessageQueue.h"
#include "tools/tessel/ProgressText.h"

namespace tessel::cli {

namespace {

constexpr std::uint32_t kWakeMessage = 0x0400 + 1;
// How long Finish waits for room in a full queue; the modal wait looks at the flag every second anyway.
constexpr std::uint32_t kWakeWaitMs = 1000;
constexpr std::string_view kQuestionEnd = "\r\n";

}  // namespace

TransferProgress::TransferProgress(MessagePump& pump, ProgressLine& line, std::uint32_t retries)
    : pump_(pump),
      line_(line),
      retries_(retries),
      wake_(std::make_unique<tessel::MessageWindow>([](std::uint32_t, std::uintptr_t, std::intptr_t) {})) {}

TransferProgress::~TransferProgress() = default;

std::string TransferProgress::StepKey(const State& state) {
    return state.caption + '\n' + state.info[0] + '\n' + state.info[1] + '\n' + state.info[2];
}

std::string TransferProgress::Passing(const State& state) {
    // The count first: a narrow terminal cuts the end of the line.
    std::string text;
    if (state.max > 0) text = "[" + std::to_string(state.position) + "/" + std::to_string(state.max) + "] ";
    text += state.caption;
    for (const std::string& info : state.info) {
        if (!info.empty()) text += " | " + info;
    }
    return text;
}

void TransferProgress::Change(const std::function<void(State&)>& change, bool lasting) {
    std::string passing;
    std::string plain;
    {
        std::lock_guard lock(mutex_);
        const State before = state_;
        change(state_);
        passing = Passing(state_);
        // A plain log gets the operation's title and each new main line once.
        if (lasting && state_.caption != before.caption) plain = state_.caption;
        if (lasting && state_.info[0] != before.info[0]) plain = state_.info[0];
    }
    if (!plain.empty()) line_.Progress(plain);
    line_.Update(passing);
}

void TransferProgress::SetCaption(const std::string& caption) {
    Change([&](State& s) { s.caption = EnglishProgressText(caption); }, true);
}

void TransferProgress::SetMax(int max) {
    Change([&](State& s) { s.max = max; });
}

void TransferProgress::SetInfo(TProgressLine line, const std::string& text) {
    Change([&](State& s) { s.info[static_cast<int>(line)] = EnglishProgressText(text); },
           line == TProgressLine::Info);
}

void TransferProgress::SetPosition(int position) {
    Change([&](State& s) { s.position = position; });
}

void TransferProgress::StepIt() {
    // As a bar does: past its maximum it starts again.
    Change([](State& s) { s.position = s.position + 1 > s.max ? 0 : s.position + 1; });
}

void TransferProgress::Prepare() {
    std::lock_guard lock(mutex_);
    finished_ = false;
    lastError_.clear();
    failedStep_.clear();
    attempts_ = 0;
}

bool TransferProgress::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::string TransferProgress::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void TransferProgress::ShowModal(const std::function<bool()>& onAbort) {
    const auto finished = [this] { return Finished(); };
    if (pump_.PumpUntil(finished)) return;
    interrupted_ = true;
    if (onAbort()) return;
    // Declined: the operation goes on to its end, and a further signal asks nothing more.
    pump_.PumpUntil(finished, false);
}

void TransferProgress::Finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    // Only wakes the modal wait; the flag is what ends it.
    wake_->PostWait(kWakeMessage, 0, 0, kWakeWaitMs);
}

bool TransferProgress::AskAbort(const std::string&) {
    return true;
}

bool TransferProgress::AskContinue(const std::string& text) {
    const std::string error = EnglishProgressText(text.substr(0, text.find(kQuestionEnd)));
    std::uint32_t attempt = 0;
    {
        std::lock_guard lock(mutex_);
        // A repeated step leaves the window's lines as they were; any step that succeeded changed them.
        const std::string step = StepKey(state_);
        attempts_ = step == failedStep_ ? attempts_ + 1 : 1;
        failedStep_ = step;
        attempt = attempts_;
        if (attempt > retries_) {
            // The main line names the table the step belonged to.
            lastError_ = state_.info[0].empty() ? error : state_.info[0] + ": " + error;
            return false;
        }
    }
    line_.Line(error + "; retry " + std::to_string(attempt) + " of " + std::to_string(retries_));
    return true;
}

}  // namespace tessel::cli
