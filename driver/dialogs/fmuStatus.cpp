#include "driver/dialogs/fmuStatus.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/qt/QtText.h"

namespace {

QString Number(LONG value) {
    return QString::number(value);
}

}  // namespace

TfmStatus::TfmStatus(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), driver_(driver) {
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

    connect(btnECRStatus, &QPushButton::clicked, this, [this] { ECRStatus(); });
    connect(btnFMStatus, &QPushButton::clicked, this, [this] { FMStatus(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // Room for the longest lines and every line of either status.
    const QFontMetrics metrics(fixed);
    memo_->setMinimumSize(metrics.horizontalAdvance(QString(52, '0')) + 24, metrics.lineSpacing() * 12 + 16);
    adjustSize();
    setMinimumSize(size());
}

void TfmStatus::AddLine(const char* label, const QString& value) {
    memo_->appendPlainText(QString::fromUtf8(label) + " : " + value);
}

void TfmStatus::AddLine(const char* label, const std::string& value) {
    AddLine(label, QString::fromStdString(value));
}

void TfmStatus::ECRStatus() {
    RunAction(actions_, [this] {
        const TDriverCalls& d = driver_;
        memo_->clear();
        d.Check(&ITesselDriver::GetECRStatus);
        d.Check(&ITesselDriver::GetDeviceMetrics);
        AddLine("Номер оператора", Number(d.Get(&ITesselDriver::get_OperatorNumber)));
        AddLine("Версия ПО ККМ  ", d.Get(&ITesselDriver::get_ECRSoftVersion));
        AddLine("Сборка ПО ККМ  ", Number(d.Get(&ITesselDriver::get_ECRSoftBuild)));
        AddLine("Дата ПО ККМ    ", tessel::qt::DateTimeText(d.Get(&ITesselDriver::get_ECRSoftDate)));
        AddLine("Номер документа", Number(d.Get(&ITesselDriver::get_DocumentNumber)));
        AddLine("Флаги ККМ      ", Number(d.Get(&ITesselDriver::get_ECRFlags)));
        AddLine("Режим ККМ      ", d.Get(&ITesselDriver::get_ECRModeDescription));
        AddLine("Подрежим ККМ   ", d.Get(&ITesselDriver::get_ECRAdvancedModeDescription));
        AddLine("Порт ККМ       ", Number(d.Get(&ITesselDriver::get_ECRPortNumber)));
        AddLine(
            "Дата ККМ       ",
            tessel::qt::DateText(tessel::qt::OleDateToDateTime(d.Get(&ITesselDriver::get_ECRDate)).date()));
        AddLine(
            "Время ККМ      ",
            tessel::qt::TimeText(tessel::qt::OleDateToDateTime(d.Get(&ITesselDriver::get_ECRTime)).time()));
    });
}

void TfmStatus::FMStatus() {
    RunAction(actions_, [this] {
        const TDriverCalls& d = driver_;
        memo_->clear();
        d.Check(&ITesselDriver::GetFMStatus);
        AddLine("Версия ПО ФП              ", d.Get(&ITesselDriver::get_FMSoftVersion));
        AddLine("Сборка ПО ФП              ", Number(d.Get(&ITesselDriver::get_FMSoftBuild)));
        AddLine("Заводской номер           ", d.Get(&ITesselDriver::get_SerialNumber));
        AddLine("Последняя смена           ", Number(d.Get(&ITesselDriver::get_SessionNumber)));
        AddLine("Свободно записей          ", Number(d.Get(&ITesselDriver::get_FreeRecordInFM)));
        AddLine("Количество перерегистраций", Number(d.Get(&ITesselDriver::get_RegistrationNumber)));
        AddLine("Осталось перерегистраций  ", Number(d.Get(&ITesselDriver::get_FreeRegistration)));
        AddLine("ИНН                       ", d.Get(&ITesselDriver::get_INN));
        AddLine("Количество активизаций    ", Number(d.Get(&ITesselDriver::get_ActivizationNumber)));
        AddLine("Осталось активизаций      ", Number(d.Get(&ITesselDriver::get_FreeActivization)));
        AddLine("Регистрационный номер ЭКЛЗ", d.Get(&ITesselDriver::get_EKLZNumber));
    });
}

LONG ShowStatusDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmStatus dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
