#include "driver/dialogs/fmuStatus.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/qt/QtText.h"

std::string TQtDateTimeFormat::DateText(TDateTime value) const {
    return tessel::qt::DateText(tessel::qt::OleDateToDateTime(value).date()).toStdString();
}

std::string TQtDateTimeFormat::TimeText(TDateTime value) const {
    return tessel::qt::TimeText(tessel::qt::OleDateToDateTime(value).time()).toStdString();
}

TfmStatus::TfmStatus(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), form_(driver, *this) {
    setWindowTitle("Состояние ККМ и ФП");
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed("Courier New");
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPixelSize(12);
    memo_->setFont(fixed);
    auto* btnECRStatus = new QPushButton("Состояние ККМ", this);
    btnECRStatus->setObjectName("btnECRStatus");
    auto* btnFMStatus = new QPushButton("Состояние ФП", this);
    btnFMStatus->setObjectName("btnFMStatus");
    auto* btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    actions_ = {btnECRStatus, btnFMStatus};

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnECRStatus);
    buttons->addWidget(btnFMStatus);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(8, 8, 8, 8);
    all->addWidget(memo_);
    all->addLayout(buttons);

    connect(btnECRStatus, &QPushButton::clicked, this, [this] { form_.ECRStatus(); });
    connect(btnFMStatus, &QPushButton::clicked, this, [this] { form_.FMStatus(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // Room for the longest lines and every line of either status.
    const QFontMetrics metrics(fixed);
    memo_->setMinimumSize(metrics.horizontalAdvance(QString(52, '0')) + 24, metrics.lineSpacing() * 12 + 16);
    adjustSize();
    setMinimumSize(size());
}

void TfmStatus::SetBusy(bool busy) {
    for (QWidget* button : actions_) button->setEnabled(!busy);
}

void TfmStatus::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmStatus::ClearLines() {
    memo_->clear();
}

void TfmStatus::AddLine(const std::string& line) {
    memo_->appendPlainText(QString::fromStdString(line));
}

LONG ShowStatusDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmStatus dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
