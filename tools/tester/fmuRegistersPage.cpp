#include "tools/tester/fmuRegistersPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "tools/tester/untReg.h"

namespace tessel::tst {

namespace {

// The kinds in the order the list offers them.
std::unique_ptr<TECRRegisters> NewRegisters(int kind) {
    switch (kind) {
        case 1:
            return std::make_unique<TOptnRegisters>();
        case 2:
            return std::make_unique<TRestRegisters>();
        default:
            return std::make_unique<TCashRegisters>();
    }
}

QString CountText(int count) {
    return QString("Прочитано: %1").arg(count);
}

}  // namespace

TfmRegistersPage::TfmRegistersPage(TPages& pages) : TPage(pages, "Значения регистров") {
    setObjectName("TfmRegistersPage");
    cbKind_ = new QComboBox(this);
    cbKind_->setObjectName("cbKind");
    for (int kind = 0; kind < 3; ++kind) cbKind_->addItem(NewRegisters(kind)->Title());
    btnRead_ = NewButton(this, "btnRead", "Прочитать");
    lblCount_ = new QLabel(CountText(0), this);
    lblCount_->setObjectName("lblCount");
    memRegisters_ = NewMemo(this, "memRegisters", true);

    auto* top = new QHBoxLayout;
    top->addWidget(cbKind_);
    top->addWidget(btnRead_);
    top->addSpacing(12);
    top->addWidget(lblCount_);
    top->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(memRegisters_, 1);

    connect(btnRead_, &QPushButton::clicked, this, [this] { StartOrStop(); });
}

void TfmRegistersPage::StartOrStop() {
    if (Worker().Running()) {
        Worker().Stop();
        return;
    }
    const int kind = cbKind_->currentIndex();
    memRegisters_->clear();
    lblCount_->setText(CountText(0));
    const bool started = StartWork([kind](TDriver& driver, TPageWorker::TJob& job) {
        driver.Open();
        const auto registers = NewRegisters(kind);
        int count = 0;
        registers->ReadAll(
            driver, [&job] { return job.Stopped(); },
            [&](const TECRRegister& r) { job.Progress(++count, QString::fromStdString(RegisterLine(r))); });
    });
    if (started) {
        btnRead_->setText("Прервать");
        cbKind_->setEnabled(false);
    }
}

void TfmRegistersPage::WorkProgress(const TWorkerEvent& event) {
    memRegisters_->appendPlainText(event.Text);
    lblCount_->setText(CountText(event.Count));
}

void TfmRegistersPage::WorkFinished(const TWorkerEvent&) {
    btnRead_->setText("Начать");
    cbKind_->setEnabled(true);
}

}  // namespace tessel::tst
