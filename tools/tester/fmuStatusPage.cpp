#include "tools/tester/fmuStatusPage.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/qt/QtText.h"

namespace tessel::tst {

namespace {

// How a property's value is shown.
enum class TShown { Text, Date, Time, DateTime };

struct TStatusLine {
    const char* label;  // padded, so that the values line up in a fixed font
    const char* property;
    TShown shown;
};

constexpr TStatusLine kEcrLines[] = {
    {"Номер оператора", "OperatorNumber", TShown::Text},
    {"Версия ПО ККМ  ", "ECRSoftVersion", TShown::Text},
    {"Сборка ПО ККМ  ", "ECRSoftBuild", TShown::Text},
    {"Дата ПО ККМ    ", "ECRSoftDate", TShown::DateTime},
    {"Номер документа", "DocumentNumber", TShown::Text},
    {"Флаги ККМ      ", "ECRFlags", TShown::Text},
    {"Режим ККМ      ", "ECRModeDescription", TShown::Text},
    {"Подрежим ККМ   ", "ECRAdvancedModeDescription", TShown::Text},
    {"Порт ККМ       ", "ECRPortNumber", TShown::Text},
    {"Дата ККМ       ", "ECRDate", TShown::Date},
    {"Время ККМ      ", "ECRTime", TShown::Time},
};

constexpr TStatusLine kFMLines[] = {
    {"Версия ПО ФП              ", "FMSoftVersion", TShown::Text},
    {"Сборка ПО ФП              ", "FMSoftBuild", TShown::Text},
    {"Заводской номер           ", "SerialNumber", TShown::Text},
    {"Последняя смена           ", "SessionNumber", TShown::Text},
    {"Свободно записей          ", "FreeRecordInFM", TShown::Text},
    {"Количество перерегистраций", "RegistrationNumber", TShown::Text},
    {"Осталось перерегистраций  ", "FreeRegistration", TShown::Text},
    {"ИНН                       ", "INN", TShown::Text},
    {"Количество активизаций    ", "ActivizationNumber", TShown::Text},
    {"Осталось активизаций      ", "FreeActivization", TShown::Text},
    {"Регистрационный номер ЭКЛЗ", "EKLZNumber", TShown::Text},
};

QString Value(TDriver& driver, const TStatusLine& line) {
    switch (line.shown) {
        case TShown::Text:
            return QString::fromStdString(driver.GetText(line.property));
        case TShown::Date:
            return qt::DateText(qt::OleDateToDateTime(driver.GetDate(line.property)).date());
        case TShown::Time:
            return qt::TimeText(qt::OleDateToDateTime(driver.GetDate(line.property)).time());
        case TShown::DateTime:
            break;
    }
    return qt::DateTimeText(driver.GetDate(line.property));
}

template <std::size_t N>
QStringList Lines(TDriver& driver, const TStatusLine (&lines)[N]) {
    QStringList out;
    for (const TStatusLine& line : lines) out << QString(line.label) + " : " + Value(driver, line);
    return out;
}

}  // namespace

TfmStatusPage::TfmStatusPage(TPages& pages) : TPage(pages, "Состояние") {
    setObjectName("TfmStatusPage");
    btnEcr_ = NewButton(this, "btnEcr", "ККМ");
    btnFM_ = NewButton(this, "btnFM", "ФП");
    memInfo_ = NewMemo(this, "memInfo", true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnEcr_);
    buttons->addWidget(btnFM_);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(buttons);
    all->addWidget(memInfo_, 1);

    connect(btnEcr_, &QPushButton::clicked, this, [this] { ReadEcrStatus(); });
    connect(btnFM_, &QPushButton::clicked, this, [this] { ReadFMStatus(); });
}

void TfmStatusPage::ReadEcrStatus() {
    Read(false);
}

void TfmStatusPage::ReadFMStatus() {
    Read(true);
}

void TfmStatusPage::Read(bool fiscalMemory) {
    if (Busy()) return;
    auto lines = std::make_shared<QStringList>();
    lines_ = lines;
    memInfo_->clear();
    const bool started = StartWork([lines, fiscalMemory](TDriver& driver, TPageWorker::TJob&) {
        driver.Open();
        // The lines are read with the status they come from.
        const auto sequence = driver.Sequence();
        if (fiscalMemory) {
            driver.Check("GetFMStatus");
            *lines = Lines(driver, kFMLines);
        } else {
            driver.Check("GetECRStatus");
            driver.Check("GetDeviceMetrics");
            *lines = Lines(driver, kEcrLines);
        }
    });
    if (started) {
        btnEcr_->setEnabled(false);
        btnFM_->setEnabled(false);
    }
}

void TfmStatusPage::WorkFinished(const TWorkerEvent&) {
    if (lines_) memInfo_->setPlainText(lines_->join('\n'));
    lines_.reset();
    btnEcr_->setEnabled(true);
    btnFM_->setEnabled(true);
}

}  // namespace tessel::tst
