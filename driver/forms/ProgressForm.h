#pragma once
// The progress window of the table transfer engine apart from the toolkit that draws it: what it shows, the
// modal wait that the engine's completion or a confirmed abort ends, "Прервать" with its question, and the
// worker's question.
//
// Threads. The window lives on its owner's thread (the window's thread), which runs the modal wait. The
// worker's updates are kept under a lock and drawn on the window's thread, at most one pending update at a
// time. The worker's question waits for its answer on a condition; the modal wait's end answers a question
// still open with No, so that the owner, which then waits for the worker, never waits for a question nobody
// can answer. One question at a time: the worker's waits while the abort question is open, and is answered
// No without being shown once the abort was confirmed.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "driver/forms/FormView.h"
#include "driver/tables/untProgress.h"

// What the progress window shows.
struct TProgressState {
    std::string caption;
    std::string info[3];
    int max = 0;
    int position = 0;
};

// Who owns a question box.
enum class TQuestionOwner { ProgressWindow, ActiveWindow };

class IProgressView : public IFormView {
  public:
    // Window's thread: draws `state`.
    virtual void ShowState(const TProgressState& state) = 0;
    // Whether the calling thread is the window's.
    virtual bool OnWindowThread() const = 0;
    // Any thread: runs `call` on the window's thread soon (during the modal wait too); dropped once the
    // window is gone.
    virtual void Post(std::function<void()> call) = 0;
    // Window's thread: shows the window modally, over its owner when that is shown, until EndModal.
    virtual void RunModal() = 0;
    virtual void EndModal(bool completed) = 0;
    // Window's thread: a warning box with Yes and No captioned "Драйвер ККМ", owned as `owner` says; true
    // for Yes.
    virtual bool AskYesNo(const std::string& text, TQuestionOwner owner) = 0;
    // Window's thread: closes an open question owned by the progress window with No.
    virtual void CloseWindowQuestion() = 0;
};

class TProgressForm : public IProgressWindow {
  public:
    explicit TProgressForm(IProgressView& view) : view_(view) {}

    // What the window shows now.
    TProgressState State() const;

    void SetCaption(const std::string& caption) override;
    void SetMax(int max) override;
    void SetInfo(TProgressLine line, const std::string& text) override;
    void SetPosition(int position) override;
    void StepIt() override;
    void Prepare() override;
    void ShowModal(const std::function<bool()>& onAbort) override;
    void Finish() override;
    bool AskAbort(const std::string& text) override;
    bool AskContinue(const std::string& text) override;

    // Window's thread: "Прервать", Esc and every way of closing the window.
    void AbortClicked();

  private:
    // The worker's question and its answer.
    struct TQuestion {
        std::string text;
        bool answered = false;
        bool yes = false;
    };
    enum class TPhase { Idle, Prepared, Modal, Closed };

    // Changes the state and has it drawn: at once on the window's thread, else by one pending update.
    void Change(const std::function<void(TProgressState&)>& change);
    // Window's thread.
    void DrawState();
    void Finished(unsigned generation);
    void ShowQuestion();
    void EndModal(bool completed);

    IProgressView& view_;

    mutable std::mutex mutex_;  // every member up to the window's thread ones
    std::condition_variable answered_;
    TProgressState state_;
    bool updatePending_ = false;
    unsigned generation_ = 0;  // one per Prepare, so that a late completion is told apart
    TPhase phase_ = TPhase::Idle;
    bool finished_ = false;
    std::shared_ptr<TQuestion> question_;

    // Window's thread only.
    const std::function<bool()>* onAbort_ = nullptr;
    bool asking_ = false;   // a question box is open
    bool closing_ = false;  // the modal wait is ending
};
