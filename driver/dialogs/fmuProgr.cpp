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

TfmProgress::TfmProgress(QWidget* owner) : TMyForm(owner), TProgressForm(static_cast<IProgressView&>(*this)) {
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

QString TfmProgress::InfoText(TProgressLine line) const {
    return QString::fromStdString(State().info[static_cast<int>(line)]);
}

void TfmProgress::ShowState(const TProgressState& s) {
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

bool TfmProgress::OnWindowThread() const {
    return QThread::currentThread() == thread();
}

void TfmProgress::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TfmProgress::RunModal() {
    const QWidget* over =
        parentWidget() != nullptr && parentWidget()->isVisible() ? parentWidget()->window() : nullptr;
    if (over != nullptr) {
        move(over->geometry().center() - rect().center());
    } else {
        CentreOnScreen();
    }
    exec();
}

void TfmProgress::EndModal(bool completed) {
    done(completed ? QDialog::Accepted : QDialog::Rejected);
}

void TfmProgress::reject() {
    AbortClicked();
}

bool TfmProgress::AskYesNo(const std::string& text, TQuestionOwner owner) {
    QWidget* parent = this;
    if (owner == TQuestionOwner::ActiveWindow && QApplication::activeWindow() != nullptr)
        parent = QApplication::activeWindow();
    QMessageBox question(QMessageBox::Warning, kQuestionCaption,
                         QString::fromStdString(text).replace("\r\n", "\n"),
                         QMessageBox::Yes | QMessageBox::No, parent);
    question.setDefaultButton(QMessageBox::Yes);
    question.button(QMessageBox::Yes)->setText("Да");
    question.button(QMessageBox::No)->setText("Нет");
    if (owner == TQuestionOwner::ProgressWindow) windowQuestion_ = &question;
    const int answer = question.exec();
    if (owner == TQuestionOwner::ProgressWindow) windowQuestion_ = nullptr;
    return answer == QMessageBox::Yes;
}

void TfmProgress::CloseWindowQuestion() {
    if (windowQuestion_) windowQuestion_->done(QMessageBox::No);
}
