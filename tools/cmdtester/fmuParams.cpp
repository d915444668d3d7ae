#include "tools/cmdtester/fmuParams.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <climits>

using tessel::cmd::TAppParams;

TfmParams::TfmParams(const TAppParams& params, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("TfmParams");
    setWindowTitle("Параметры");
    edTimeout_ = new QLineEdit(this);
    edTimeout_->setObjectName("edTimeout");
    edTimeout_->setValidator(new QIntValidator(0, INT_MAX, edTimeout_));
    auto* timeoutLabel = new QLabel("Таймаут:", this);
    timeoutLabel->setBuddy(edTimeout_);
    chbWaitAnswer_ = new QCheckBox("Ожидать ответа после передачи команды", this);
    chbWaitAnswer_->setObjectName("chbWaitAnswer");
    chbSendAnswer_ = new QCheckBox("Посылать ответ при получении команды", this);
    chbSendAnswer_->setObjectName("chbSendAnswer");
    btnOK_ = new QPushButton("OK", this);
    btnOK_->setObjectName("btnOK");
    btnOK_->setDefault(true);
    auto* cancel = new QPushButton("Отмена", this);
    cancel->setObjectName("btnCancel");
    cancel->setAutoDefault(false);
    auto* defaults = new QPushButton("По умолчанию", this);
    defaults->setObjectName("btnDefaults");
    defaults->setAutoDefault(false);

    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(timeoutLabel);
    timeoutRow->addWidget(edTimeout_);
    timeoutRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch();
    buttons->addWidget(btnOK_);
    buttons->addWidget(cancel);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->addLayout(timeoutRow, 0, 0);
    grid->addWidget(chbWaitAnswer_, 1, 0);
    grid->addWidget(chbSendAnswer_, 2, 0);
    grid->setRowMinimumHeight(3, 8);
    grid->addLayout(buttons, 4, 0);

    // An empty time-out is no time-out: OK waits for a number.
    connect(edTimeout_, &QLineEdit::textChanged, this,
            [this] { btnOK_->setEnabled(edTimeout_->hasAcceptableInput()); });
    connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, [this] { LoadDefaults(); });
    Show(params);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TfmParams::Show(const TAppParams& params) {
    edTimeout_->setText(QString::number(params.Timeout));
    chbWaitAnswer_->setChecked(params.WaitAnswer);
    chbSendAnswer_->setChecked(params.SendAnswer);
}

void TfmParams::LoadDefaults() {
    Show(TAppParams());
}

TAppParams TfmParams::Params() const {
    TAppParams params;
    params.Timeout = edTimeout_->text().toInt();
    params.WaitAnswer = chbWaitAnswer_->isChecked();
    params.SendAnswer = chbSendAnswer_->isChecked();
    return params;
}
