#include "driver/dialogs/fmuService.h"

#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "common/qt/QtText.h"

namespace {

// The driver waits this long for the register to initialise its tables.
constexpr LONG kInitTablesTimeout = 30000;

}  // namespace

TfmService::TfmService(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), driver_(driver) {
    setWindowTitle("Управление ККМ");
    const tessel::qt::TShortFormats formats = tessel::qt::ShortFormats();
    dtpDate_ = new QDateEdit(this);
    dtpDate_->setObjectName("dtpDate");
    dtpDate_->setDisplayFormat(formats.date);
    dtpDate_->setCalendarPopup(true);
    dtpTime_ = new QTimeEdit(this);
    dtpTime_->setObjectName("dtpTime");
    dtpTime_->setDisplayFormat(formats.time);

    QPushButton* btnSetDate = NewButton(this, "btnSetDate", "Установить дату");
    QPushButton* btnSetTime = NewButton(this, "btnSetTime", "Установить время");
    QPushButton* btnFromECR = NewButton(this, "btnFromECR", "Из ККМ");
    QPushButton* btnFromPC = NewButton(this, "btnFromPC", "Из ПК");
    QPushButton* btnInitTables = NewButton(this, "btnInitTables", "Инициализация таблиц");
    QPushButton* btnGetStatus = NewButton(this, "btnGetStatus", "Запрос состояния ККМ и ФП");
    QPushButton* btnClose = NewButton(this, "btnClose", "OK");
    btnClose->setDefault(true);
    actions_ = {btnSetDate, btnSetTime, btnFromECR, btnFromPC, btnInitTables, btnGetStatus};

    auto* group = new QGroupBox("Дата и время", this);
    auto* dateLabel = new QLabel("Дата:", group);
    dateLabel->setBuddy(dtpDate_);
    auto* timeLabel = new QLabel("Время:", group);
    timeLabel->setBuddy(dtpTime_);
    auto* grid = new QGridLayout(group);
    grid->addWidget(dateLabel, 0, 0);
    grid->addWidget(dtpDate_, 0, 1);
    grid->addWidget(btnSetDate, 0, 2);
    grid->addWidget(btnFromECR, 0, 3);
    grid->addWidget(timeLabel, 1, 0);
    grid->addWidget(dtpTime_, 1, 1);
    grid->addWidget(btnSetTime, 1, 2);
    grid->addWidget(btnFromPC, 1, 3);
    grid->setColumnMinimumWidth(1, dtpDate_->sizeHint().width() + 16);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnInitTables);
    bottom->addWidget(btnGetStatus);
    bottom->addStretch();
    bottom->addWidget(btnClose);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(12, 12, 12, 12);
    all->addWidget(group);
    all->addSpacing(4);
    all->addLayout(bottom);

    connect(btnSetDate, &QPushButton::clicked, this, [this] {
        Run([this] {
            driver_.Put(&ITesselDriver::put_ECRDate,
                        tessel::qt::DateTimeToOleDate(dtpDate_->date(), QTime()));
            driver_.Check(&ITesselDriver::SetDate);
        });
    });
    connect(btnSetTime, &QPushButton::clicked, this, [this] {
        Run([this] {
            driver_.Put(&ITesselDriver::put_ECRTime,
                        tessel::qt::DateTimeToOleDate(QDate(1899, 12, 30), dtpTime_->time()));
            driver_.Check(&ITesselDriver::SetTime);
        });
    });
    connect(btnFromECR, &QPushButton::clicked, this, [this] {
        Run([this] {
            driver_.Check(&ITesselDriver::GetECRStatus);
            dtpDate_->setDate(tessel::qt::OleDateToDateTime(driver_.Get(&ITesselDriver::get_ECRDate)).date());
            dtpTime_->setTime(tessel::qt::OleDateToDateTime(driver_.Get(&ITesselDriver::get_ECRTime)).time());
        });
    });
    connect(btnFromPC, &QPushButton::clicked, this, [this] { Run([this] { FromPC(); }); });
    connect(btnInitTables, &QPushButton::clicked, this, [this] {
        Run([this] {
            const LONG timeout = driver_.Get(&ITesselDriver::get_Timeout);
            driver_.Put(&ITesselDriver::put_Timeout, kInitTablesTimeout);
            try {
                driver_.Check(&ITesselDriver::InitTables);
            } catch (...) {
                driver_.Put(&ITesselDriver::put_Timeout, timeout);
                throw;
            }
            driver_.Put(&ITesselDriver::put_Timeout, timeout);
        });
    });
    connect(btnGetStatus, &QPushButton::clicked, this, [this] {
        Run([this] {
            const TScopedParentWnd owner(driver_, static_cast<LONG>(winId()));
            driver_.Check(&ITesselDriver::ShowStatusDlg);
        });
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    FromPC();
    FixSize();
    CentreOnScreen();
}

void TfmService::Run(const std::function<void()>& action) {
    RunAction(actions_, action);
}

void TfmService::FromPC() {
    const QDateTime now = QDateTime::currentDateTime();
    dtpDate_->setDate(now.date());
    dtpTime_->setTime(now.time());
}

LONG ShowServiceDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmService dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
