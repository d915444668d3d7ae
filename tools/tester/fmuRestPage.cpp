#include "tools/tester/fmuRestPage.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/platform/AtomicFile.h"
#include "common/qt/QtText.h"

namespace tessel::tst {

namespace {

constexpr char kFilter[] = "Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*";
// The largest text file the page loads.
constexpr qint64 kMaxTextFile = 16 << 20;

}  // namespace

TfmRestPage::TfmRestPage(TPages& pages) : TPage(pages, "Регистры остатков"), steps_(*this) {
    setObjectName("TfmRestPage");
    rbAll_ = new QRadioButton("все", this);
    rbAll_->setObjectName("rbAll");
    rbAll_->setChecked(true);
    rbRange_ = new QRadioButton("с", this);
    rbRange_->setObjectName("rbRange");
    edFrom_ = NewNumber(this, "edFrom", 0);
    edTo_ = NewNumber(this, "edTo", 1000);
    btnRead_ = NewButton(this, "btnRead", "Прочитать");
    btnWrite_ = NewButton(this, "btnWrite", "Записать");
    btnLoad_ = NewButton(this, "btnLoad", "Загрузить...");
    btnSave_ = NewButton(this, "btnSave", "Сохранить...");
    btnClear_ = NewButton(this, "btnClear", "Очистить");
    pbProgress_ = new QProgressBar(this);
    pbProgress_->setObjectName("pbProgress");
    pbProgress_->setRange(0, kProgressMaximum);
    pbProgress_->setValue(0);
    memLines_ = NewMemo(this, "memLines", false);

    auto* range = new QHBoxLayout;
    range->addWidget(new QLabel("Регистры:", this));
    range->addWidget(rbAll_);
    range->addSpacing(12);
    range->addWidget(rbRange_);
    range->addWidget(edFrom_);
    range->addWidget(new QLabel("по", this));
    range->addWidget(edTo_);
    range->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnRead_, btnWrite_, btnLoad_, btnSave_, btnClear_}) buttons->addWidget(b);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(range);
    all->addLayout(buttons);
    all->addWidget(pbProgress_);
    all->addWidget(memLines_, 1);

    auto enableRange = [this] {
        edFrom_->setEnabled(rbRange_->isChecked());
        edTo_->setEnabled(rbRange_->isChecked());
    };
    connect(rbRange_, &QRadioButton::toggled, this, enableRange);
    enableRange();
    connect(btnRead_, &QPushButton::clicked, this, [this] { ReadOrStop(); });
    connect(btnWrite_, &QPushButton::clicked, this, [this] { WriteOrStop(); });
    connect(btnLoad_, &QPushButton::clicked, this, [this] { Load(); });
    connect(btnSave_, &QPushButton::clicked, this, [this] { Save(); });
    connect(btnClear_, &QPushButton::clicked, this, [this] { Clear(); });
}

void TfmRestPage::Started(QPushButton* button) {
    for (QPushButton* b : {btnRead_, btnWrite_, btnLoad_, btnSave_, btnClear_}) b->setEnabled(b == button);
    button->setText("Прервать");
    memLines_->setReadOnly(true);
}

void TfmRestPage::Finished(const std::exception_ptr& error) {
    for (QPushButton* b : {btnRead_, btnWrite_, btnLoad_, btnSave_, btnClear_}) b->setEnabled(true);
    btnRead_->setText("Прочитать");
    btnWrite_->setText("Записать");
    memLines_->setReadOnly(false);
    ShowFailure(error);
}

void TfmRestPage::ReadOrStop() {
    if (steps_.Running()) {
        steps_.Stop();
        return;
    }
    opened_ = false;
    next_ = rbRange_->isChecked() ? edFrom_->value() : 0;
    last_ = rbRange_->isChecked() ? edTo_->value() : -1;
    count_ = 0;
    memLines_->clear();
    // A range shows its own progress; over all registers the bar counts to a thousand.
    pbProgress_->setRange(0,
                          last_ >= next_ ? std::min(last_ - next_ + 1, kProgressMaximum) : kProgressMaximum);
    pbProgress_->setValue(0);
    Started(btnRead_);
    steps_.Start([this](TDriver& driver) { return ReadStep(driver); },
                 [this](std::exception_ptr error) { Finished(error); });
}

bool TfmRestPage::Opened(TDriver& driver) {
    // The port is opened by the first step, which waits for the driver as every step does.
    if (opened_) return true;
    driver.Open();
    opened_ = true;
    return false;
}

bool TfmRestPage::ReadStep(TDriver& driver) {
    if (!Opened(driver)) return true;
    if ((last_ >= 0 && next_ > last_) || next_ > kLastRegisterNumber) return false;
    driver.PutLong("RegisterNumber", next_);
    const LONG result = driver.Call("GetRestReg");
    // Over all registers, the register's "no such register" is where the list ends.
    if (result == kNoSuchRegister && last_ < 0) return false;
    if (result != 0) throw EDriverError(driver.GetText("ResultDescription"), result);
    memLines_->appendPlainText(QString::fromStdString(RestLine(next_, driver.GetLong("RestRegister"))));
    ++next_;
    pbProgress_->setValue(std::min(++count_, pbProgress_->maximum()));
    return true;
}

void TfmRestPage::WriteOrStop() {
    if (steps_.Running()) {
        steps_.Stop();
        return;
    }
    if (!Guarded([this] { writes_ = ParseRestLines(memLines_->toPlainText().toStdString()); })) return;
    opened_ = false;
    written_ = 0;
    pbProgress_->setRange(0, std::max(1, static_cast<int>(writes_.size())));
    pbProgress_->setValue(0);
    Started(btnWrite_);
    steps_.Start([this](TDriver& driver) { return WriteStep(driver); },
                 [this](std::exception_ptr error) { Finished(error); });
}

bool TfmRestPage::WriteStep(TDriver& driver) {
    if (!Opened(driver)) return true;
    if (written_ >= writes_.size()) return false;
    const TRestWrite& w = writes_[written_];
    driver.PutLong("RegisterNumber", w.Number);
    driver.PutLong("RestRegister", w.Value);
    driver.Check("SetRestReg");
    pbProgress_->setValue(static_cast<int>(++written_));
    return true;
}

void TfmRestPage::Load() {
    const QString name =
        QFileDialog::getOpenFileName(this, "Загрузить", QString(), qt::FileDialogFilter(kFilter));
    if (!name.isEmpty()) LoadFile(name);
}

void TfmRestPage::Save() {
    const QString name =
        QFileDialog::getSaveFileName(this, "Сохранить", QString(), qt::FileDialogFilter(kFilter));
    if (!name.isEmpty()) SaveFile(name);
}

void TfmRestPage::LoadFile(const QString& fileName) {
    QFile file(fileName);
    if (file.size() > kMaxTextFile) {
        ShowError(QString("Файл %1 слишком велик").arg(fileName));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(QString("Не удалось открыть файл %1: %2").arg(fileName, file.errorString()));
        return;
    }
    memLines_->setPlainText(QString::fromUtf8(file.readAll()).remove('\r'));
}

void TfmRestPage::SaveFile(const QString& fileName) {
    QString text = memLines_->toPlainText();
    if (!text.isEmpty() && !text.endsWith('\n')) text += '\n';
    Guarded([&] { WriteFileAtomically(fileName.toStdString(), text.toStdString(), 0644); });
}

void TfmRestPage::Clear() {
    memLines_->clear();
}

}  // namespace tessel::tst
