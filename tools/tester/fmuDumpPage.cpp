#include "tools/tester/fmuDumpPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/qt/QtText.h"
#include "tools/tester/fmuDumpView.h"

namespace tessel::tst {

namespace {

constexpr char kFilter[] = "Файлы дампов (*.dmp)|*.dmp|Все файлы (*.*)|*.*";

}  // namespace

TfmDumpPage::TfmDumpPage(TPages& pages) : TPage(pages, "Дамп") {
    setObjectName("TfmDumpPage");
    cbDevice_ = new QComboBox(this);
    cbDevice_->setObjectName("cbDevice");
    for (const char* name : kDumpDevices) cbDevice_->addItem(name);
    rbWhole_ = new QRadioButton("Весь дамп", this);
    rbWhole_->setObjectName("rbWhole");
    rbWhole_->setChecked(true);
    rbRange_ = new QRadioButton("Диапазон блоков", this);
    rbRange_->setObjectName("rbRange");
    edStart_ = NewNumber(this, "edStart", 0);
    edEnd_ = NewNumber(this, "edEnd", 0);
    btnStart_ = NewButton(this, "btnStart", "Начать");
    btnSave_ = NewButton(this, "btnSave", "Сохранить");
    btnView_ = NewButton(this, "btnView", "Просмотр");
    lblBlocks_ = new QLabel(this);
    lblBlocks_->setObjectName("lblBlocks");
    lblElapsed_ = new QLabel("Прошло времени: " + QString::fromStdString(ElapsedText(0)), this);
    lblElapsed_->setObjectName("lblElapsed");
    pbProgress_ = new QProgressBar(this);
    pbProgress_->setObjectName("pbProgress");
    pbProgress_->setValue(0);

    auto* device = new QHBoxLayout;
    device->addWidget(new QLabel("Устройство:", this));
    device->addWidget(cbDevice_);
    device->addStretch();
    auto* blocks = new QGridLayout;
    blocks->addWidget(rbWhole_, 0, 0, 1, 5);
    blocks->addWidget(rbRange_, 1, 0);
    blocks->addWidget(new QLabel("с", this), 1, 1);
    blocks->addWidget(edStart_, 1, 2);
    blocks->addWidget(new QLabel("по", this), 1, 3);
    blocks->addWidget(edEnd_, 1, 4);
    blocks->setColumnStretch(5, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnStart_, btnSave_, btnView_}) buttons->addWidget(b);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(device);
    all->addLayout(blocks);
    all->addSpacing(8);
    all->addWidget(lblBlocks_);
    all->addWidget(lblElapsed_);
    all->addWidget(pbProgress_);
    all->addLayout(buttons);
    all->addStretch();
    ShowCounts(0);

    auto enableRange = [this] {
        edStart_->setEnabled(rbRange_->isChecked());
        edEnd_->setEnabled(rbRange_->isChecked());
    };
    connect(rbRange_, &QRadioButton::toggled, this, enableRange);
    enableRange();
    connect(btnStart_, &QPushButton::clicked, this, [this] { StartOrStop(); });
    connect(btnSave_, &QPushButton::clicked, this, [this] { Save(); });
    connect(btnView_, &QPushButton::clicked, this, [this] { View(); });
}

int TfmDumpPage::Device() const {
    return cbDevice_->currentIndex() + 1;
}

void TfmDumpPage::ShowCounts(int read) {
    lblBlocks_->setText(QString("Всего блоков: %1  Прочитано: %2").arg(range_.Total()).arg(read));
    lblElapsed_->setText("Прошло времени: " +
                         QString::fromStdString(ElapsedText(clock_.isValid() ? clock_.elapsed() : 0)));
    pbProgress_->setValue(read);
}

void TfmDumpPage::StartOrStop() {
    if (Worker().Running()) {
        Worker().Stop();
        return;
    }
    if (starting_) return;
    starting_ = true;
    const int device = Device();
    const bool whole = rbWhole_->isChecked();
    const int start = edStart_->value();
    const int end = edEnd_->value();
    // The block count is asked on this thread, once no worker has the driver.
    WithDriver([this, device, whole, start, end](TDriver& driver) -> std::function<void()> {
        TDumpRange range;
        std::exception_ptr error;
        try {
            driver.Open();
            driver.PutLong("DeviceNumber", device);
            driver.PutLong("DataBlockNumber", 0);
            driver.Check("GetDump");
            const int count = driver.GetLong("DataBlockCount");
            range = whole ? WholeDump(count) : BlockRange(start, end, count);
        } catch (...) {
            error = std::current_exception();
        }
        return [this, device, range, error] {
            starting_ = false;
            if (error) {
                ShowFailure(error);
                return;
            }
            StartReading(device, range);
        };
    });
}

void TfmDumpPage::StartReading(int device, const TDumpRange& range) {
    range_ = range;
    read_ = 0;
    clock_.start();
    pbProgress_->setRange(0, std::max(1, range.Total()));
    ShowCounts(0);
    auto reading = std::make_shared<Bytes>();
    reading_ = reading;
    const bool started = StartWork([reading, device, range](TDriver& driver, TPageWorker::TJob& job) {
        int blocks = 0;
        try {
            ReadDump(
                driver, device, range,
                {[&job] { return job.Stopped(); },
                 [&job, &blocks](int read) {
                     blocks = read;
                     job.Progress(read);
                 },
                 [&job](const std::string& question) { return job.Ask(QString::fromStdString(question)); }},
                *reading);
        } catch (const std::exception& e) {
            // The blocks read stay in the dump: the message says what failed and how far the reading got.
            if (blocks == 0) throw;
            throw std::runtime_error(DumpFailureText(ErrorText(e), blocks, range.Total()));
        }
    });
    if (!started) return;
    btnStart_->setText("Прервать");
    for (QWidget* w : std::initializer_list<QWidget*>{cbDevice_, rbWhole_, rbRange_, btnSave_, btnView_})
        w->setEnabled(false);
}

void TfmDumpPage::WorkProgress(const TWorkerEvent& event) {
    read_ = event.Count;
    ShowCounts(read_);
}

void TfmDumpPage::WorkFinished(const TWorkerEvent& event) {
    // A reading that failed before its first block leaves the dump read before; any other gives its blocks.
    if (reading_ && (!event.Error || !reading_->empty())) dump_ = std::move(*reading_);
    reading_.reset();
    ShowCounts(read_);
    btnStart_->setText("Начать");
    for (QWidget* w : std::initializer_list<QWidget*>{cbDevice_, rbWhole_, rbRange_, btnSave_, btnView_})
        w->setEnabled(true);
}

void TfmDumpPage::Save() {
    QFileDialog dialog(this, "Сохранить", QString(), qt::FileDialogFilter(kFilter));
    dialog.setObjectName("dlgSave");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("dmp");
    dialog.selectFile(QString::fromStdString(DumpDeviceName(Device())));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SaveFile(dialog.selectedFiles().first());
}

void TfmDumpPage::SaveFile(const QString& fileName) {
    Guarded([&] { SaveDumpFile(fileName.toStdString(), dump_); });
}

void TfmDumpPage::View() {
    TfmDumpView viewer(dump_, this);
    viewer.exec();
}

}  // namespace tessel::tst
