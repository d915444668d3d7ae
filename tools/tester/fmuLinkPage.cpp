#include "tools/tester/fmuLinkPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/platform/TickClock.h"

namespace tessel::tst {

namespace {

QLabel* Value(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("0000000000"));
    return label;
}

}  // namespace

TfmLinkPage::TfmLinkPage(TPages& pages) : TPage(pages, "Проверка связи"), steps_(*this) {
    setObjectName("TfmLinkPage");
    btnStart_ = NewButton(this, "btnStart", "Начать");
    chbStopOnError_ = new QCheckBox("Остановка при ошибке", this);
    chbStopOnError_->setObjectName("chbStopOnError");
    lblCalls_ = Value(this, "lblCalls");
    lblFailures_ = Value(this, "lblFailures");
    lblRate_ = Value(this, "lblRate");
    lblPercent_ = Value(this, "lblPercent");
    lblSeconds_ = Value(this, "lblSeconds");
    lblMsPerCall_ = Value(this, "lblMsPerCall");

    auto* top = new QHBoxLayout;
    top->addWidget(btnStart_);
    top->addSpacing(12);
    top->addWidget(chbStopOnError_);
    top->addStretch();
    auto* values = new QFormLayout;
    values->addRow("Вызовов:", lblCalls_);
    values->addRow("Ошибок:", lblFailures_);
    values->addRow("Вызовов в секунду:", lblRate_);
    values->addRow("Ошибок, %:", lblPercent_);
    values->addRow("Прошло секунд:", lblSeconds_);
    values->addRow("Мс на вызов:", lblMsPerCall_);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addSpacing(8);
    all->addLayout(values);
    all->addStretch();
    ShowStats();

    connect(btnStart_, &QPushButton::clicked, this, [this] { StartOrStop(); });
}

void TfmLinkPage::ShowStats() {
    lblCalls_->setText(QString::number(stats_.Calls));
    lblFailures_->setText(QString::number(stats_.Failures));
    lblRate_->setText(QString::number(stats_.CallsPerSecond()));
    lblPercent_->setText(QString::fromStdString(stats_.FailurePercentText()));
    lblSeconds_->setText(QString::number(stats_.ElapsedSeconds()));
    lblMsPerCall_->setText(QString::fromStdString(stats_.MsPerCallText()));
}

void TfmLinkPage::StartOrStop() {
    if (steps_.Running()) {
        steps_.Stop();
        return;
    }
    opened_ = false;
    stats_ = TLinkStats();
    stopOnError_ = chbStopOnError_->isChecked();
    started_ = TickCount();
    ShowStats();
    btnStart_->setText("Прервать");
    chbStopOnError_->setEnabled(false);
    steps_.Start([this](TDriver& driver) { return Step(driver); },
                 [this](std::exception_ptr error) {
                     btnStart_->setText("Начать");
                     chbStopOnError_->setEnabled(true);
                     ShowFailure(error);
                 });
}

bool TfmLinkPage::Step(TDriver& driver) {
    // The first step opens the port; the clock starts with the first call.
    if (!opened_) {
        driver.Open();
        opened_ = true;
        started_ = TickCount();
        return true;
    }
    struct TShowAfter {
        TfmLinkPage& page;
        ~TShowAfter() {
            page.stats_.ElapsedMs = TicksSince(page.started_);
            page.ShowStats();
        }
    } show{*this};
    LinkTestCall(driver, stats_, stopOnError_);
    return true;
}

}  // namespace tessel::tst
