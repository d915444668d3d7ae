#include "tools/tester/fmuFlagsPage.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessel::tst {

TfmFlagsPage::TfmFlagsPage(TPages& pages) : TPage(pages, "Флаги ККМ") {
    setObjectName("TfmFlagsPage");
    btnRead_ = NewButton(this, "btnRead", "Прочитать");
    memFlags_ = NewMemo(this, "memFlags", true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRead_);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(buttons);
    all->addWidget(memFlags_, 1);

    connect(btnRead_, &QPushButton::clicked, this, [this] { Read(); });
}

void TfmFlagsPage::Read() {
    if (Busy()) return;
    auto lines = std::make_shared<QStringList>();
    lines_ = lines;
    memFlags_->clear();
    const bool started = StartWork([lines](TDriver& driver, TPageWorker::TJob&) {
        driver.Open();
        QStringList names;
        for (int bit = 0; bit < kFlagCount; ++bit) {
            const auto sequence = driver.Sequence();
            driver.PutLong("FlagNumber", bit);
            driver.Check("GetECRFlagName");
            names << QString::fromStdString(driver.GetText("FlagName"));
        }
        const LONG flags = [&] {
            const auto sequence = driver.Sequence();
            driver.Check("GetECRStatus");
            return driver.GetLong("ECRFlags");
        }();
        for (int bit = 0; bit < kFlagCount; ++bit)
            *lines << QString("[%1] %2").arg((flags >> bit) & 1 ? "X" : " ", names[bit]);
    });
    if (started) btnRead_->setEnabled(false);
}

void TfmFlagsPage::WorkFinished(const TWorkerEvent&) {
    if (lines_) memFlags_->setPlainText(lines_->join('\n'));
    lines_.reset();
    btnRead_->setEnabled(true);
}

}  // namespace tessel::tst
