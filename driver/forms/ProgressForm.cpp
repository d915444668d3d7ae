#include "driver/forms/ProgressForm.h"

// ---- what the window shows ----

TProgressState TProgressForm::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void TProgressForm::Change(const std::function<void(TProgressState&)>& change) {
    const bool here = view_.OnWindowThread();
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        change(state_);
        if (!here && !updatePending_) post = updatePending_ = true;
    }
    if (here) {
        DrawState();
    } else if (post) {
        view_.Post([this] { DrawState(); });
    }
}

void TProgressForm::DrawState() {
    TProgressState s;
    {
        std::lock_guard lock(mutex_);
        s = state_;
        updatePending_ = false;
    }
    view_.ShowState(s);
}

void TProgressForm::SetCaption(const std::string& caption) {
    Change([&](TProgressState& s) { s.caption = caption; });
}

void TProgressForm::SetMax(int max) {
    Change([&](TProgressState& s) { s.max = max; });
}

void TProgressForm::SetInfo(TProgressLine line, const std::string& text) {
    Change([&](TProgressState& s) { s.info[static_cast<int>(line)] = text; });
}

void TProgressForm::SetPosition(int position) {
    Change([&](TProgressState& s) { s.position = position; });
}

void TProgressForm::StepIt() {
    // A bar wraps to its start when a step takes it past the maximum.
    Change([](TProgressState& s) { s.position = s.position + 1 > s.max ? 0 : s.position + 1; });
}

// ---- the modal wait ----

void TProgressForm::Prepare() {
    std::lock_guard lock(mutex_);
    ++generation_;
    phase_ = TPhase::Prepared;
    finished_ = false;
    question_.reset();
}

void TProgressForm::ShowModal(const std::function<bool()>& onAbort) {
    // What the worker reported so far, also when it has already finished and the window is not shown.
    DrawState();
    {
        std::lock_guard lock(mutex_);
        if (finished_) {
            phase_ = TPhase::Closed;
            return;
        }
        phase_ = TPhase::Modal;
    }
    onAbort_ = &onAbort;
    closing_ = false;
    // A question the worker asked before the wait began is shown once it runs.
    view_.Post([this] { ShowQuestion(); });
    view_.RunModal();
    onAbort_ = nullptr;
    {
        std::lock_guard lock(mutex_);
        phase_ = TPhase::Closed;
        if (question_ && !question_->answered) question_->answered = true;  // No: the window is gone
    }
    answered_.notify_all();
}

void TProgressForm::EndModal(bool completed) {
    closing_ = true;
    view_.EndModal(completed);
}

void TProgressForm::Finish() {
    unsigned generation = 0;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        generation = generation_;
    }
    view_.Post([this, generation] { Finished(generation); });
}

void TProgressForm::Finished(unsigned generation) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || phase_ != TPhase::Modal) return;
    }
    if (closing_) return;
    // The operation is over: an abort question still open has nothing left to abort.
    view_.CloseWindowQuestion();
    EndModal(true);
}

void TProgressForm::AbortClicked() {
    if (asking_ || closing_ || onAbort_ == nullptr) return;
    asking_ = true;
    bool close = false;
    ShowErrors(view_, [&] { close = (*onAbort_)(); });
    asking_ = false;
    if (close && !closing_) {
        EndModal(false);
        return;
    }
    // The worker's question that waited for this one.
    ShowQuestion();
}

// ---- the questions ----

bool TProgressForm::AskAbort(const std::string& text) {
    return view_.AskYesNo(text, TQuestionOwner::ProgressWindow);
}

bool TProgressForm::AskContinue(const std::string& text) {
    auto question = std::make_shared<TQuestion>();
    question->text = text;
    {
        std::lock_guard lock(mutex_);
        // Once the window has closed nobody would answer: the operation ends.
        if (phase_ == TPhase::Closed || phase_ == TPhase::Idle) return false;
        question_ = question;
    }
    view_.Post([this] { ShowQuestion(); });
    std::unique_lock lock(mutex_);
    // Bounded by the modal wait: its end answers the question.
    answered_.wait(lock, [&] { return question->answered; });
    if (question_ == question) question_.reset();
    return question->yes;
}

void TProgressForm::ShowQuestion() {
    if (asking_ || closing_) return;
    std::shared_ptr<TQuestion> question;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TPhase::Modal || !question_ || question_->answered) return;
        question = question_;
    }
    asking_ = true;
    const bool yes = view_.AskYesNo(question->text, TQuestionOwner::ActiveWindow);
    asking_ = false;
    {
        std::lock_guard lock(mutex_);
        if (!question->answered) {
            question->answered = true;
            question->yes = yes && !closing_;
        }
    }
    answered_.notify_all();
}
