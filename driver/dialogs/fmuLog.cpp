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

const char* const TfmLog::kFilter = "Лог-файлы (*.log)|*.log|Все файлы (*.*)|*.*";

namespace {

// Why the log cannot be written to `name`, or nothing when it can: a file that exists must be a file the user
// may write, a new one needs a folder the user may write in.
QString WhyNotWritable(const QString& name) {
    if (name.trimmed().isEmpty()) return "не задано имя файла";
    const QFileInfo file(name);
    if (file.exists()) {
        if (!file.isFile()) return "это не файл";
        return file.isWritable() ? QString() : "нет прав на запись в файл";
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) return "нет папки " + folder.filePath();
    return folder.isWritable() ? QString() : "нет прав на запись в папку " + folder.filePath();
}

}  // namespace

TfmLog::TfmLog(QWidget* parent) : TMyForm(parent) {
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

    connect(btnFileName, &QPushButton::clicked, this, [this] { ChooseFile(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FixSize();
}

void TfmLog::SetValues(bool enabled, const QString& fileName) {
    chbLogEnabled_->setChecked(enabled);
    edtFileName_->setText(fileName);
    openedName_ = fileName;
}

void TfmLog::accept() {
    // The log writes silently or not at all: a file it cannot write is refused here, where the user sees it.
    if (chbLogEnabled_->isChecked() || FileName() != openedName_) {
        if (const QString why = WhyNotWritable(FileName()); !why.isEmpty()) {
            ShowError(QString("Лог-файл не может быть записан: %1 (%2)").arg(FileName(), why));
            edtFileName_->setFocus();
            return;
        }
    }
    TMyForm::accept();
}

bool TfmLog::LogEnabled() const {
    return chbLogEnabled_->isChecked();
}

QString TfmLog::FileName() const {
    return edtFileName_->text();
}

void TfmLog::ChooseFile() {
    // A log file need not exist yet: any name may be chosen, starting from the one in the field.
    QFileDialog dialog(this, QString(), QString(), tessel::qt::FileDialogFilter(kFilter));
    dialog.setObjectName("dlgFileName");
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString current = edtFileName_->text();
    if (!current.isEmpty()) {
        dialog.setDirectory(QFileInfo(current).absolutePath());
        dialog.selectFile(current);
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        edtFileName_->setText(dialog.selectedFiles().first());
}

LONG ShowLogDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmLog dialog(owner.Widget());
    owner.Attach(dialog);
    dialog.SetValues(driver.Get(&ITesselDriver::get_LogEnabled),
                     QString::fromStdString(driver.Get(&ITesselDriver::get_LogFileName)));
    if (dialog.exec() != QDialog::Accepted) return 0;
    driver.Put(&ITesselDriver::put_LogEnabled, dialog.LogEnabled());
    driver.Put(&ITesselDriver::put_LogFileName, dialog.FileName().toStdString());
    return 1;
}
