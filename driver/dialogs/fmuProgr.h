#pragma once
// TfmProgress: the window of TProgressForm, the progress window of the table transfer engine: the
// operation's title, three text lines, a bar and "Прервать", with the abort question and the worker's
// continue question in message boxes. What it does between the threads is the form's; the window draws it
// and runs its modal wait and boxes on the GUI thread.

#include <QPointer>
#include <functional>
#include <string>

#include "driver/dialogs/MyForm.h"
#include "driver/forms/ProgressForm.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

class TfmProgress final : public IProgressView, public TMyForm, public TProgressForm {
  public:
    // The window, owned by `owner` (a Qt parent) but freed by whoever holds it as the engine's window.
    explicit TfmProgress(QWidget* owner);
    ~TfmProgress() override;

    // The full text of a line; the label shows it cut to the window's width.
    QString InfoText(TProgressLine line) const;

    // IProgressView
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { TMyForm::ShowError(QString::fromStdString(text)); }
    void ShowState(const TProgressState& state) override;
    bool OnWindowThread() const override;
    void Post(std::function<void()> call) override;
    void RunModal() override;
    void EndModal(bool completed) override;
    bool AskYesNo(const std::string& text, TQuestionOwner owner) override;
    void CloseWindowQuestion() override;

  protected:
    // Esc and every way of closing the window ask the abort question, as "Прервать" does.
    void reject() override;

  private:
    QPointer<QMessageBox> windowQuestion_;  // the open question owned by this window
    QLabel* lblInfo_[3] = {};
    QProgressBar* progressBar_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};
