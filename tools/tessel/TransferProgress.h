#pragma once
// The progress window of the table transfers in a console: what the engine shows goes to a ProgressLine in
// English, its modal wait pumps this thread's queue and ends early on a stop signal (taken as "Прервать"
// answered Yes), and its error question is answered by the retry budget rather than by a person.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "driver/tables/untProgress.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/ProgressLine.h"

namespace tessel {
class MessageWindow;
}

namespace tessel::cli {

class TransferProgress final : public IProgressWindow {
  public:
    // Create on the thread that pumps `pump` (the driver's thread). A failed device step is repeated up to
    // `retries` times in a row before the operation gives up; each repetition is reported on `line`.
    TransferProgress(MessagePump& pump, ProgressLine& line, std::uint32_t retries);
    ~TransferProgress() override;
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // The error ("TABLE STEP: (CODE) TEXT") of the step that ended the last operation; empty when none did.
    std::string LastError() const;
    // Whether a stop signal ended a modal wait.
    bool Interrupted() const { return interrupted_; }

    void SetCaption(const std::string& caption) override;
    void SetMax(int max) override;
    void SetInfo(TProgressLine line, const std::string& text) override;
    void SetPosition(int position) override;
    void StepIt() override;
    void Prepare() override;
    void ShowModal(const std::function<bool()>& onAbort) override;
    void Finish() override;
    // A stop signal is the only way to ask: always Yes.
    bool AskAbort(const std::string& text) override;
    bool AskContinue(const std::string& text) override;

  private:
    struct State {
        std::string caption;
        std::string info[3];
        int max = 0;
        int position = 0;
    };

    // Applies `change` under the lock and shows the new state; `lasting` also writes it as a plain line.
    void Change(const std::function<void(State&)>& change, bool lasting = false);
    bool Finished() const;
    // The window's lines without the bar: the same while the same step is being repeated.
    static std::string StepKey(const State& state);
    static std::string Passing(const State& state);

    MessagePump& pump_;
    ProgressLine& line_;
    const std::uint32_t retries_;

    mutable std::mutex mutex_;  // everything below but interrupted_ and wake_
    State state_;
    bool finished_ = false;
    std::string lastError_;
    std::string failedStep_;  // StepKey of the last failed step
    std::uint32_t attempts_ = 0;

    bool interrupted_ = false;                     // owner thread only
    std::unique_ptr<tessel::MessageWindow> wake_;  // ends the modal wait's sleep at Finish
};

}  // namespace tessel::cli
