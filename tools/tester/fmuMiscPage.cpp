#include "tools/tester/fmuMiscPage.h"

#include <QDateEdit>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "common/qt/QtText.h"

namespace tessel::tst {

namespace {

const QDate kDayZero(1899, 12, 30);

// A group of a caption, an optional editor and its button.
QGroupBox* Group(QWidget* parent, const char* title, QWidget* editor, QPushButton* button) {
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    if (editor != nullptr) row->addWidget(editor);
    row->addWidget(button);
    row->addStretch();
    return group;
}

}  // namespace

TfmMiscPage::TfmMiscPage(TPages& pages) : TPage(pages, "Дополнительно") {
    setObjectName("TfmMiscPage");
    const QDateTime now = QDateTime::currentDateTime();
    dtpDate_ = new QDateEdit(now.date(), this);
    dtpDate_->setObjectName("dtpDate");
    dtpDate_->setDisplayFormat(qt::ShortFormats().date);
    dtpDate_->setCalendarPopup(true);
    dtpTime_ = new QTimeEdit(now.time(), this);
    dtpTime_->setObjectName("dtpTime");
    dtpTime_->setDisplayFormat(qt::ShortFormats().time);
    btnWriteDate_ = NewButton(this, "btnWriteDate", "Записать");
    btnWriteTime_ = NewButton(this, "btnWriteTime", "Записать");
    btnInitTables_ = NewButton(this, "btnInitTables", "Выполнить");
    btnComputerTime_ = NewButton(this, "btnComputerTime", "Выполнить");

    auto* all = new QVBoxLayout(this);
    all->addWidget(Group(this, "Дата ККМ", dtpDate_, btnWriteDate_));
    all->addWidget(Group(this, "Время ККМ", dtpTime_, btnWriteTime_));
    all->addWidget(Group(this, "Инициализация таблиц", nullptr, btnInitTables_));
    all->addWidget(Group(this, "Дата и время компьютера", nullptr, btnComputerTime_));
    all->addStretch();

    connect(btnWriteDate_, &QPushButton::clicked, this, [this] { WriteDate(); });
    connect(btnWriteTime_, &QPushButton::clicked, this, [this] { WriteTime(); });
    connect(btnInitTables_, &QPushButton::clicked, this, [this] { InitTables(); });
    connect(btnComputerTime_, &QPushButton::clicked, this, [this] { SetComputerTime(); });
}

void TfmMiscPage::EnableButtons(bool on) {
    for (QPushButton* b : {btnWriteDate_, btnWriteTime_, btnInitTables_, btnComputerTime_}) b->setEnabled(on);
}

void TfmMiscPage::Run(const std::function<void(TDriver&)>& action) {
    if (Busy()) return;
    if (StartWork([action](TDriver& driver, TPageWorker::TJob&) {
            const auto sequence = driver.Sequence();
            driver.Open();
            action(driver);
        }))
        EnableButtons(false);
}

void TfmMiscPage::WriteDate() {
    const DATE date = qt::DateTimeToOleDate(dtpDate_->date(), QTime());
    Run([date](TDriver& driver) {
        driver.PutDate("ECRDate", date);
        driver.Check("SetDate");
    });
}

void TfmMiscPage::WriteTime() {
    const DATE time = qt::DateTimeToOleDate(kDayZero, dtpTime_->time());
    Run([time](TDriver& driver) {
        driver.PutDate("ECRTime", time);
        driver.Check("SetTime");
    });
}

void TfmMiscPage::InitTables() {
    Run([](TDriver& driver) {
        const LONG timeout = driver.GetLong("Timeout");
        driver.PutLong("Timeout", kInitTablesTimeout);
        const LONG result = driver.Call("InitTables");
        const std::string why = result != 0 ? driver.GetText("ResultDescription") : std::string();
        driver.PutLong("Timeout", timeout);
        if (result != 0) throw EDriverError(why, result);
    });
}

void TfmMiscPage::SetComputerTime() {
    Run([](TDriver& driver) {
        const QDateTime now = QDateTime::currentDateTime();
        driver.PutDate("ECRDate", qt::DateTimeToOleDate(now.date(), QTime()));
        driver.Check("SetDate");
        const QTime time = QDateTime::currentDateTime().time();
        driver.PutDate("ECRTime",
                       qt::DateTimeToOleDate(kDayZero, QTime(time.hour(), time.minute(), time.second())));
        driver.Check("SetTime");
    });
}

void TfmMiscPage::WorkFinished(const TWorkerEvent&) {
    EnableButtons(true);
}

}  // namespace tessel::tst
