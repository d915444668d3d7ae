#include "driver/dialogs/fmuLog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/qt/QtText.h"
#include "driver/client/DriverCalls.h"

TfmLog::TfmLog(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), form_(driver, *this) {
    setWindowTitle("Параметры лога");
    chbLogEnabled_ = new QCheckBox("Вести лог", this);
    chbLogEnabled_->setObjectName("chbLogEnabled");
    edtFileName_ = new QLineEdit(this);
    edtFileName_->setObjectName("edtFileName");
    edtFileName_->setMinimumWidth(edtFileName_->fontMetrics().averageCharWidth() * 48);
    auto* btnFileName = new QPushButton("...", this);
    btnFileName->setObjectName("btnFileName");
    btnFileName->setAutoDefault(false);
    btnFileName->setFixedWidth(btnFileName->sizeHint().height() + 4);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Отмена", this);
    cancel->setObjectName("btnCancel");
    cancel->setAutoDefault(false);

    auto* fileLabel = new QLabel("Файл:", this);
    fileLabel->setBuddy(edtFileName_);
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(4);
    fileRow->addWidget(edtFileName_, 1);
    fileRow->addWidget(btnFileName);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->addWidget(chbLogEnabled_, 0, 0);
    grid->addWidget(fileLabel, 1, 0);
    grid->addLayout(fileRow, 2, 0);
    grid->setRowMinimumHeight(3, 8);
    grid->addLayout(buttons, 4, 0);

    connect(btnFileName, &QPushButton::clicked, this, [this] { form_.ChooseFile(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FixSize();
}

void TfmLog::accept() {
    if (form_.Accept()) TMyForm::accept();
}

void TfmLog::SetBusy(bool busy) {
    // Nothing of this dialog talks to the device.
    (void)busy;
}

void TfmLog::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmLog::ShowLogEnabled(bool enabled) {
    chbLogEnabled_->setChecked(enabled);
}

void TfmLog::ShowFileName(const std::string& name) {
    edtFileName_->setText(QString::fromStdString(name));
}

bool TfmLog::LogEnabled() const {
    return chbLogEnabled_->isChecked();
}

std::string TfmLog::FileName() const {
    return edtFileName_->text().toStdString();
}

std::optional<std::string> TfmLog::AskFileName(const std::string& filter, const std::string& start) {
    QFileDialog dialog(this, QString(), QString(),
                       tessel::qt::FileDialogFilter(QString::fromStdString(filter)));
    dialog.setObjectName("dlgFileName");
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!start.empty()) {
        const QString current = QString::fromStdString(start);
        dialog.setDirectory(QFileInfo(current).absolutePath());
        dialog.selectFile(current);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void TfmLog::FocusFileName() {
    edtFileName_->setFocus();
}

LONG ShowLogDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmLog dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    dialog.Form().Fill();
    if (dialog.exec() != QDialog::Accepted) return 0;
    dialog.Form().Apply();
    return 1;
}
