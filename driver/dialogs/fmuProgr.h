#pragma once
// TfmProgress: the progress window of the table transfer engine: the operation's title, three text lines,
// a bar and "Прервать", with the abort question and the worker's continue question.
//
// Threads. The window lives on its owner's thread (the GUI thread), which runs the modal wait. The worker's
// updates are kept under a lock and applied on the GUI thread, at most one pending update at a time. The
// worker's question waits for its answer on a condition; the modal wait's end answers a question still
// open with No, so that the owner, which then waits for the worker, never waits for a question nobody can
// answer. One question at a time: the worker's waits while the abort question is open, and is answered No
// without being shown once the abort was confirmed.

#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "driver/dialogs/MyForm.h"
#include "driver/tables/untProgress.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

class TfmProgress final : public TMyForm, public IProgressWindow {
  public:
    // The window, owned by `owner` (a Qt parent) but freed by whoever holds it as the engine's window.
    explicit TfmProgress(QWidget* owner);
    ~TfmProgress() override;

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

    // The full text of a line; the label shows it cut to the window's width.
    QString InfoText(TProgressLine line) const;

  protected:
    // Esc and every way of closing the window ask the abort question, as "Прервать" does.
    void reject() override;

  private:
    // What the window shows; written by either thread under mutex_.
    struct TState {
        std::string caption;
        std::string info[3];
        int max = 0;
        int position = 0;
    };
    // The worker's question and its answer.
    struct TQuestion {
        std::string text;
        bool answered = false;
        bool yes = false;
    };
    enum class TPhase { Idle, Prepared, Modal, Closed };

    // Changes the state and has it shown: at once on the GUI thread, else by one pending update.
    void Change(const std::function<void(TState&)>& change);
    // GUI thread.
    void ApplyState();
    void AbortClicked();
    void Finished(unsigned generation);
    void ShowQuestion();
    void EndModal(int result);
    bool OnGuiThread() const;
    // A warning box with Yes and No over `owner`; true for Yes. `box` points at it while it is open.
    bool AskYesNo(QWidget* owner, const std::string& text, QPointer<QMessageBox>& box);

    mutable std::mutex mutex_;  // every member up to the GUI-only ones
    std::condition_variable answered_;
    TState state_;
    bool updatePending_ = false;
    unsigned generation_ = 0;  // one per Prepare, so that a late completion is told apart
    TPhase phase_ = TPhase::Idle;
    bool finished_ = false;
    std::shared_ptr<TQuestion> question_;

    // GUI thread only.
    const std::function<bool()>* onAbort_ = nullptr;
    bool asking_ = false;   // a question box is open
    bool closing_ = false;  // the modal wait is ending
    QPointer<QMessageBox> abortBox_;
    QLabel* lblInfo_[3] = {};
    QProgressBar* progressBar_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};
