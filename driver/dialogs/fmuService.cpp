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

TfmService::TfmService(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), form_(driver, *this) {
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

    connect(btnSetDate, &QPushButton::clicked, this, [this] { form_.SetDate(); });
    connect(btnSetTime, &QPushButton::clicked, this, [this] { form_.SetTime(); });
    connect(btnFromECR, &QPushButton::clicked, this, [this] { form_.FromECR(); });
    connect(btnFromPC, &QPushButton::clicked, this, [this] { form_.FromPC(); });
    connect(btnInitTables, &QPushButton::clicked, this, [this] { form_.InitTables(); });
    connect(btnGetStatus, &QPushButton::clicked, this, [this] { form_.GetStatus(); });
    // Signals of the pickers come from the user alone: the clock is shown with them blocked.
    connect(dtpDate_, &QDateEdit::dateChanged, this, [this] { form_.DateEdited(); });
    connect(dtpTime_, &QTimeEdit::timeChanged, this, [this] { form_.TimeEdited(); });
    dtpDate_->installEventFilter(this);
    dtpTime_->installEventFilter(this);
    clockTimer_ = new QTimer(this);
    clockTimer_->setSingleShot(true);
    connect(clockTimer_, &QTimer::timeout, this, [this] { form_.ClockTick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    form_.Open();
    FixSize();
    CentreOnScreen();
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
        if (watched == dtpDate_) form_.DateEdited();
        if (watched == dtpTime_) form_.TimeEdited();
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmService::SetBusy(bool busy) {
    for (QWidget* button : actions_) button->setEnabled(!busy);
}

void TfmService::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmService::ShowDate(TDateTime value) {
    const QSignalBlocker quiet(dtpDate_);
    dtpDate_->setDate(tessel::qt::OleDateToDateTime(value).date());
}

void TfmService::ShowTime(TDateTime value) {
    const QSignalBlocker quiet(dtpTime_);
    dtpTime_->setTime(tessel::qt::OleDateToDateTime(value).time());
}

TDateTime TfmService::PickedDate() const {
    return tessel::qt::DateTimeToOleDate(dtpDate_->date(), QTime());
}

TDateTime TfmService::PickedTime() const {
    return tessel::qt::DateTimeToOleDate(QDate(1899, 12, 30), dtpTime_->time());
}

void TfmService::StartClockTimer(int ms) {
    clockTimer_->start(ms);
}

void TfmService::StopClockTimer() {
    clockTimer_->stop();
}

LONG TfmService::WindowHandle() const {
    return static_cast<LONG>(winId());
}

LONG ShowServiceDialog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmService dialog(owner.Widget(), driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
