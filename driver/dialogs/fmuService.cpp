#include "driver/dialogs/fmuService.h"

#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTimer>
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
            driver_.Put(&ITesselDriver::put_ECRDate, tessel::qt::DateTimeToOleDate(ChosenDate(), QTime()));
            driver_.Check(&ITesselDriver::SetDate);
        });
    });
    connect(btnSetTime, &QPushButton::clicked, this, [this] {
        Run([this] {
            driver_.Put(&ITesselDriver::put_ECRTime,
                        tessel::qt::DateTimeToOleDate(QDate(1899, 12, 30), ChosenTime()));
            driver_.Check(&ITesselDriver::SetTime);
        });
    });
    connect(btnFromECR, &QPushButton::clicked, this, [this] {
        Run([this] {
            driver_.Check(&ITesselDriver::GetECRStatus);
            const QDateTime clock(
                tessel::qt::OleDateToDateTime(driver_.Get(&ITesselDriver::get_ECRDate)).date(),
                tessel::qt::OleDateToDateTime(driver_.Get(&ITesselDriver::get_ECRTime)).time());
            FollowClock(QDateTime::currentDateTime().msecsTo(clock));
        });
    });
    connect(btnFromPC, &QPushButton::clicked, this, [this] { Run([this] { FollowClock(0); }); });
    // Signals of the pickers come from the user alone: the clock is shown with them blocked.
    connect(dtpDate_, &QDateEdit::dateChanged, this, [this] { dateFollows_ = false; });
    connect(dtpTime_, &QTimeEdit::timeChanged, this, [this] { timeFollows_ = false; });
    dtpDate_->installEventFilter(this);
    dtpTime_->installEventFilter(this);
    clockTimer_ = new QTimer(this);
    clockTimer_->setSingleShot(true);
    connect(clockTimer_, &QTimer::timeout, this, [this] { ShowClock(); });
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

    FollowClock(0);
    FixSize();
    CentreOnScreen();
}

void TfmService::Run(const std::function<void()>& action) {
    RunAction(actions_, action);
}

bool TfmService::eventFilter(QObject* watched, QEvent* event) {
    // Keys that only move on (to another control, or to the dialog's buttons) leave the picker following.
    const auto moving = [](const QKeyEvent& key) {
        switch (key.key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Escape:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return true;
            default:
                return false;
        }
    };
    if (event->type() == QEvent::KeyPress && !moving(static_cast<const QKeyEvent&>(*event))) {
        if (watched == dtpDate_) dateFollows_ = false;
        if (watched == dtpTime_) timeFollows_ = false;
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmService::FollowClock(qint64 offsetMs) {
    clockOffsetMs_ = offsetMs;
    dateFollows_ = true;
    timeFollows_ = true;
    ShowClock();
}

QDateTime TfmService::ClockNow() const {
    return QDateTime::currentDateTime().addMSecs(clockOffsetMs_);
}

void TfmService::ShowClock() {
    const QDateTime now = ClockNow();
    if (dateFollows_) {
        const QSignalBlocker quiet(dtpDate_);
        dtpDate_->setDate(now.date());
    }
    if (timeFollows_) {
        const QSignalBlocker quiet(dtpTime_);
        dtpTime_->setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    }
    if (dateFollows_ || timeFollows_)
        clockTimer_->start(1000 - now.time().msec());
    else
        clockTimer_->stop();
}

QDate TfmService::ChosenDate() const {
    return dateFollows_ ? ClockNow().date() : dtpDate_->date();
}

QTime TfmService::ChosenTime() const {
    return timeFollows_ ? ClockNow().time() : dtpTime_->time();
}

LONG ShowServiceDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmService dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
