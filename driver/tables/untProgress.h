#pragma once
// The progress window of the table transfer engine and its two questions, seen through an interface: the
// tables dialogs implement it with a window, console programs and tests with TConsoleProgress.
//
// Threads. The owner thread created the engine and calls its operations; the worker thread runs one
// operation's device steps.
// - Owner thread only: SetCaption, SetMax, Prepare, ShowModal, AskAbort (from ShowModal's abort handler).
// - Worker thread: SetInfo, SetPosition, StepIt, AskContinue, Finish. The owner thread also calls SetPosition
//   before the worker starts. An implementation applies the window updates on the window's thread;
//   AskContinue holds the worker until it is answered.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tessel {
class MessageWindow;
}

// Caption of both questions.
inline constexpr const char* kQuestionCaption = "Драйвер ККМ";
// The question of the "Прервать" button.
inline constexpr const char* kAbortQuestion = "Прервать выполнение ?";
// The question after a failed device step: ResultCode and ResultDescription.
inline constexpr const char* kContinueQuestionFormat = "Ошибка: (%d) %s\r\nПродолжить выполнение ?";

// The three text lines of the window: lblInfo, lblInfo2, lblInfo3.
enum class TProgressLine { Info = 0, Info2 = 1, Info3 = 2 };

class IProgressWindow {
  public:
    virtual ~IProgressWindow() = default;

    // Owner thread, before an operation: the caption (the operation's title) and the bar's maximum.
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetMax(int max) = 0;

    virtual void SetInfo(TProgressLine line, const std::string& text) = 0;
    virtual void SetPosition(int position) = 0;
    // Advances the bar by its step, 1.
    virtual void StepIt() = 0;

    // Owner thread, before the worker starts: readies the window for one modal wait. A Finish made before
    // this call must not end the coming wait.
    virtual void Prepare() = 0;
    // Owner thread. Shows the window modally until Finish is called (if it already was since Prepare, returns
    // at once). Each press of "Прервать" calls `onAbort` on this thread; when it returns true the window
    // closes at once, the worker still running. The owner thread's message queue keeps being dispatched
    // meanwhile, so the driver's events still flow. Every wait inside is bounded; the window closes only by
    // those two.
    virtual void ShowModal(const std::function<bool()>& onAbort) = 0;
    // Worker thread: the completion message. Closes the modal window; harmless once it closed by an abort.
    virtual void Finish() = 0;

    // Owner thread: kAbortQuestion with kQuestionCaption, a warning icon, Yes and No, owned by the progress
    // window. True for Yes.
    virtual bool AskAbort(const std::string& text) = 0;
    // Worker thread: the error question (kContinueQuestionFormat filled in) with kQuestionCaption, a warning
    // icon, Yes and No, owned by the active window. True for Yes.
    virtual bool AskContinue(const std::string& text) = 0;
};

// The progress window of a program without windows: it keeps what a window would show, pumps the owner
// thread's message queue during the modal wait and answers the questions through callbacks. Create it on the
// owner thread: its messages are dispatched there.
class TConsoleProgress : public IProgressWindow {
  public:
    // Answers a question; `text` is the question's text.
    using TQuestion = std::function<bool(const std::string& text)>;

    // What the window shows.
    struct TState {
        std::string caption;
        std::string info[3];
        int max = 0;
        int position = 0;
    };
    // Called after each change of the window, on the changing thread, with what the window now shows.
    using TUpdate = std::function<void(const TState& state)>;

    // `askAbort` answers the abort question (unset: Yes, since somebody pressed "Прервать"), `askContinue`
    // the error question (unset: No, so an unattended program never retries a failing step forever). Throws
    // std::system_error when the owner thread's queue cannot be made.
    explicit TConsoleProgress(TQuestion askAbort = {}, TQuestion askContinue = {});
    ~TConsoleProgress() override;
    TConsoleProgress(const TConsoleProgress&) = delete;
    TConsoleProgress& operator=(const TConsoleProgress&) = delete;

    // Set before any operation starts.
    void SetOnUpdate(TUpdate onUpdate) { onUpdate_ = std::move(onUpdate); }

    // Any thread: as if "Прервать" were pressed. Handled on the owner thread during the modal wait that
    // follows the latest Prepare; ignored otherwise.
    void PressAbort();
    TState State() const;

    void SetCaption(const std::string& caption) override;
    void SetMax(int max) override;
    void SetInfo(TProgressLine line, const std::string& text) override;
    void SetPosition(int position) override;
    void StepIt() override;
    void Prepare() override;
    // Throws std::logic_error off the thread that created this object.
    void ShowModal(const std::function<bool()>& onAbort) override;
    void Finish() override;
    bool AskAbort(const std::string& text) override;
    bool AskContinue(const std::string& text) override;

  private:
    // Applies `change` to the state under the lock, then reports the new state.
    void Change(const std::function<void(TState&)>& change);
    // Owner thread: one message of the window.
    void Handle(std::uint32_t msg, std::uintptr_t generation);
    bool Finished() const;

    const TQuestion askAbort_;
    const TQuestion askContinue_;
    TUpdate onUpdate_;

    mutable std::mutex mutex_;  // state_, generation_, finished_
    TState state_;
    std::uintptr_t generation_ = 0;  // one per Prepare, so that stale messages are told apart
    bool finished_ = false;

    // Owner thread only.
    const std::function<bool()>* onAbort_ = nullptr;
    bool modal_ = false;
    bool aborted_ = false;

    std::unique_ptr<tessel::MessageWindow> window_;  // last: its messages may arrive once it exists
};
