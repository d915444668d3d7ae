#include "driver/dialogs/fmuProgr.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <algorithm>

namespace {

// The client area the window opens with, and its pieces.
constexpr int kWidth = 232;
constexpr int kHeight = 133;
constexpr int kMargin = 8;
constexpr int kLineStep = 20;
constexpr int kBarTop = 70;
constexpr int kBarHeight = 16;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 98;

}  // namespace

TfmProgress::TfmProgress(QWidget* owner) : TMyForm(owner) {
    setObjectName("TfmProgress");
    // No caption buttons: the window ends by the operation's end or by a confirmed abort.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    const char* const names[] = {"lblInfo", "lblInfo2", "lblInfo3"};
    for (int i = 0; i < 3; ++i) {
        lblInfo_[i] = new QLabel(this);
        lblInfo_[i]->setObjectName(names[i]);
        lblInfo_[i]->setGeometry(kMargin, kMargin + i * kLineStep, kWidth - 2 * kMargin, kLineStep - 2);
    }
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 0);
    progressBar_->setGeometry(kMargin, kBarTop, kWidth - 2 * kMargin, kBarHeight);
    btnCancel_ = NewButton(this, "btnCancel", "Прервать");
    btnCancel_->setGeometry((kWidth - kButtonWidth) / 2, kButtonTop, kButtonWidth, kButtonHeight);
    connect(btnCancel_, &QPushButton::clicked, this, [this] { AbortClicked(); });
    setFixedSize(kWidth, kHeight);
}

TfmProgress::~TfmProgress() = default;

bool TfmProgress::OnGuiThread() const {
    return QThread::currentThread() == thread();
}

// ---- what the window shows ----

void TfmProgress::Change(const std::function<void(TState&)>& change) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        change(state_);
        if (!OnGuiThread() && !updatePending_) post = updatePending_ = true;
    }
    if (OnGuiThread()) {
        ApplyState();
    } else if (post) {
        QMetaObject::invokeMethod(
            this, [this] { ApplyState(); }, Qt::QueuedConnection);
    }
}

void TfmProgress::ApplyState() {
    TState s;
    {
        std::lock_guard lock(mutex_);
        s = state_;
        updatePending_ = false;
    }
    setWindowTitle(QString::fromStdString(s.caption));
    for (int i = 0; i < 3; ++i) {
        const QString text = QString::fromStdString(s.info[i]);
        // A table's name can be longer than the window is wide: the line shows what fits.
        lblInfo_[i]->setText(
            lblInfo_[i]->fontMetrics().elidedText(text, Qt::ElideRight, lblInfo_[i]->width()));
        lblInfo_[i]->setToolTip(text);
    }
    progressBar_->setRange(0, std::max(s.max, 0));
    progressBar_->setValue(std::clamp(s.position, 0, std::max(s.max, 0)));
}

QString TfmProgress::InfoText(TProgressLine line) const {
    std::lock_guard lock(mutex_);
    return QString::fromStdString(state_.info[static_cast<int>(line)]);
}

void TfmProgress::SetCaption(const std::string& caption) {
    Change([&](TState& s) { s.caption = caption; });
}

void TfmProgress::SetMax(int max) {
    Change([&](TState& s) { s.max = max; });
}

void TfmProgress::SetInfo(TProgressLine line, const std::string& text) {
    Change([&](TState& s) { s.info[static_cast<int>(line)] = text; });
}

void TfmProgress::SetPosition(int position) {
    Change([&](TState& s) { s.position = position; });
}

void TfmProgress::StepIt() {
    // A bar wraps to its start when a step takes it past the maximum.
    Change([](TState& s) { s.position = s.position + 1 > s.max ? 0 : s.position + 1; });
}

// ---- the modal wait ----

void TfmProgress::Prepare() {
    std::lock_guard lock(mutex_);
    ++generation_;
    phase_ = TPhase::Prepared;
    finished_ = false;
    question_.reset();
}

void TfmProgress::ShowModal(const std::function<bool()>& onAbort) {
    // What the worker reported so far, also when it has already finished and the window is not shown.
    ApplyState();
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
    const QWidget* over =
        parentWidget() != nullptr && parentWidget()->isVisible() ? parentWidget()->window() : nullptr;
    if (over != nullptr) {
        move(over->geometry().center() - rect().center());
    } else {
        CentreOnScreen();
    }
    // A question the worker asked before the wait began is shown once it runs.
    QMetaObject::invokeMethod(
        this, [this] { ShowQuestion(); }, Qt::QueuedConnection);
    exec();
    onAbort_ = nullptr;
    {
        std::lock_guard lock(mutex_);
        phase_ = TPhase::Closed;
        if (question_ && !question_->answered) question_->answered = true;  // No: the window is gone
    }
    answered_.notify_all();
}

void TfmProgress::EndModal(int result) {
    closing_ = true;
    done(result);
}

void TfmProgress::Finish() {
    unsigned generation = 0;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        generation = generation_;
    }
    QMetaObject::invokeMethod(
        this, [this, generation] { Finished(generation); }, Qt::QueuedConnection);
}

void TfmProgress::Finished(unsigned generation) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || phase_ != TPhase::Modal) return;
    }
    if (closing_) return;
    // The operation is over: an abort question still open has nothing left to abort.
    if (abortBox_) abortBox_->done(QMessageBox::No);
    EndModal(QDialog::Accepted);
}

void TfmProgress::reject() {
    AbortClicked();
}

void TfmProgress::AbortClicked() {
    if (asking_ || closing_ || onAbort_ == nullptr) return;
    asking_ = true;
    bool close = false;
    ShowErrors([&] { close = (*onAbort_)(); });
    asking_ = false;
    if (close && !closing_) {
        EndModal(QDialog::Rejected);
        return;
    }
    // The worker's question that waited for this one.
    ShowQuestion();
}

// ---- the questions ----

bool TfmProgress::AskYesNo(QWidget* owner, const std::string& text, QPointer<QMessageBox>& box) {
    QMessageBox question(QMessageBox::Warning, kQuestionCaption,
                         QString::fromStdString(text).replace("\r\n", "\n"),
                         QMessageBox::Yes | QMessageBox::No, owner);
    question.setDefaultButton(QMessageBox::Yes);
    question.button(QMessageBox::Yes)->setText("Да");
    question.button(QMessageBox::No)->setText("Нет");
    box = &question;
    const int answer = question.exec();
    box = nullptr;
    return answer == QMessageBox::Yes;
}

bool TfmProgress::AskAbort(const std::string& text) {
    return AskYesNo(this, text, abortBox_);
}

bool TfmProgress::AskContinue(const std::string& text) {
    auto question = std::make_shared<TQuestion>();
    question->text = text;
    {
        std::lock_guard lock(mutex_);
        // Once the window has closed nobody would answer: the operation ends.
        if (phase_ == TPhase::Closed || phase_ == TPhase::Idle) return false;
        question_ = question;
    }
    QMetaObject::invokeMethod(
        this, [this] { ShowQuestion(); }, Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    // Bounded by the modal wait: its end answers the question.
    answered_.wait(lock, [&] { return question->answered; });
    if (question_ == question) question_.reset();
    return question->yes;
}

void TfmProgress::ShowQuestion() {
    if (asking_ || closing_) return;
    std::shared_ptr<TQuestion> question;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TPhase::Modal || !question_ || question_->answered) return;
        question = question_;
    }
    asking_ = true;
    QWidget* owner = QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : this;
    QPointer<QMessageBox> box;
    const bool yes = AskYesNo(owner, question->text, box);
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
