#include "driver/dialogs/fmuPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>

#include "driver/base/untError.h"
#include "driver/dialogs/fmuDevice.h"

namespace {

const char* const kBaudRates[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr int kPortCount = 32;

// Runs `restore` when the scope ends, however it ends; for the settings an action puts back.
class TFinally {
  public:
    explicit TFinally(std::function<void()> restore) : restore_(std::move(restore)) {}
    ~TFinally() {
        try {
            restore_();
        } catch (const std::exception&) {
            // The action's own error, if any, is the one the user sees.
        }
    }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

  private:
    std::function<void()> restore_;
};

QSpinBox* NewSpin(QWidget* parent, const char* name, int min, int max) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(min, max);
    return spin;
}

// Selects the item that refers to `value`; none when no item does.
void SelectData(QComboBox* box, int value) {
    box->setCurrentIndex(box->findData(value));
}

}  // namespace

TfmPage::TfmPage(QWidget* parent, ITesselDriver* driver) : QWidget(parent) {
    setObjectName("TfmPage");
    if (driver != nullptr) driver_ = std::make_unique<TDriverCalls>(driver);
    BuildControls();
}

QSize TfmPage::PageSize() {
    const TfmPage probe(nullptr, nullptr);
    return probe.size();
}

void TfmPage::BuildControls() {
    cbDevice_ = new QComboBox(this);
    cbDevice_->setObjectName("cbDevice");
    btnDevice_ = NewButton(this, "btnDevice", "...");
    btnDevice_->setFixedWidth(btnDevice_->sizeHint().height() + 4);
    cbPortNumber_ = new QComboBox(this);
    cbPortNumber_->setObjectName("cbPortNumber");
    for (int port = 1; port <= kPortCount; ++port) cbPortNumber_->addItem(QString("COM %1").arg(port), port);
    cbBaudRate_ = new QComboBox(this);
    cbBaudRate_->setObjectName("cbBaudRate");
    for (int code = 1; code <= static_cast<int>(std::size(kBaudRates)); ++code)
        cbBaudRate_->addItem(kBaudRates[code - 1], code);
    edtDstAddress_ = NewSpin(this, "edtDstAddress", 1, 255);
    edtSrcAddress_ = NewSpin(this, "edtSrcAddress", 1, 255);
    edtTimeout_ = NewSpin(this, "edtTimeout", 0, 32767);
    edtRepCount_ = NewSpin(this, "edtRepCount", 1, 255);
    chbDeviceEnabled_ = new QCheckBox("Устройство включено", this);
    chbDeviceEnabled_->setObjectName("chbDeviceEnabled");
    chbFuel_ = new QCheckBox("Бензиновый режим ВЕРТА-01-03K", this);
    chbFuel_->setObjectName("chbFuel");
    edtResult_ = new QLineEdit(this);
    edtResult_->setObjectName("edtResult");
    edtResult_->setReadOnly(true);
    lblVersion_ = new QLabel("Версия:", this);
    lblVersion_->setObjectName("lblVersion");

    btnConnect_ = NewButton(this, "btnConnect", "Проверка связи");
    QPushButton* btnSetBaudRate = NewButton(this, "btnSetBaudRate", "Установить скорость");
    QPushButton* btnTables = NewButton(this, "btnTables", "Таблицы...");
    QPushButton* btnSearch = NewButton(this, "btnSearch", "Поиск ККМ...");
    QPushButton* btnService = NewButton(this, "btnService", "Управление ККМ");
    QPushButton* btnLogParams = NewButton(this, "btnLogParams", "Параметры лога...");
    QPushButton* btnDefaults = NewButton(this, "btnDefaults", "По умолчанию");
    QPushButton* btnAbout = NewButton(this, "btnAbout", "О программе...");
    actionButtons_ = {btnConnect_, btnSetBaudRate, btnTables,   btnSearch,
                      btnService,  btnLogParams,   btnDefaults, btnAbout};

    auto* grid = new QGridLayout(this);
    // The page is as wide as the right edge of "Проверка связи" plus 16 and as high as the bottom of the
    // result line plus 33; the version sits in that bottom strip.
    grid->setContentsMargins(16, 12, 16, 33);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(new QLabel("Логические устройства    ", this), 0, 0, 1, 2);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->setSpacing(4);
    deviceRow->addWidget(cbDevice_, 1);
    deviceRow->addWidget(btnDevice_);
    grid->addLayout(deviceRow, 1, 0, 1, 2);
    const std::pair<const char*, QWidget*> fields[] = {
        {"Номер порта:", cbPortNumber_},        {"Скорость обмена:", cbBaudRate_},
        {"Сетевой адрес ККМ:", edtDstAddress_}, {"Сетевой адрес хоста:", edtSrcAddress_},
        {"Таймаут команды, мс.:", edtTimeout_}, {"Количество повторов:", edtRepCount_},
    };
    int row = 2;
    for (const auto& [caption, control] : fields) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
        ++row;
    }
    grid->addWidget(chbDeviceEnabled_, row++, 0, 1, 2);
    grid->addWidget(chbFuel_, row++, 0, 1, 2);
    grid->setColumnMinimumWidth(2, 12);
    for (int i = 0; i < actionButtons_.size(); ++i) grid->addWidget(actionButtons_[i], i + 1, 3);
    auto* resultLabel = new QLabel("Результат:", this);
    resultLabel->setBuddy(edtResult_);
    grid->setRowMinimumHeight(row++, 4);
    grid->addWidget(resultLabel, row++, 0, 1, 4);
    grid->addWidget(edtResult_, row, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    setFixedSize(sizeHint());

    connect(cbDevice_, &QComboBox::activated, this, [this](int index) { DeviceChosen(index); });
    connect(btnDevice_, &QPushButton::clicked, this, [this] { DeviceClicked(); });
    connect(cbPortNumber_, &QComboBox::activated, this, [this] { Modified(); });
    connect(cbBaudRate_, &QComboBox::activated, this, [this] { Modified(); });
    for (QSpinBox* spin : {edtDstAddress_, edtSrcAddress_, edtTimeout_, edtRepCount_})
        connect(spin, &QSpinBox::valueChanged, this, [this] { Modified(); });
    connect(chbFuel_, &QCheckBox::clicked, this, [this] { Modified(); });
    connect(chbDeviceEnabled_, &QCheckBox::clicked, this, [this] { DeviceEnabledClicked(); });
    connect(btnConnect_, &QPushButton::clicked, this, [this] { ConnectClicked(); });
    connect(btnSetBaudRate, &QPushButton::clicked, this, [this] { SetBaudRateClicked(); });
    connect(btnTables, &QPushButton::clicked, this, [this] { DialogClicked(&ITesselDriver::ShowTablesDlg); });
    connect(btnSearch, &QPushButton::clicked, this, [this] { SearchClicked(); });
    connect(btnService, &QPushButton::clicked, this,
            [this] { DialogClicked(&ITesselDriver::ShowServiceDlg); });
    connect(btnLogParams, &QPushButton::clicked, this, [this] { DialogClicked(&ITesselDriver::ShowLogDlg); });
    connect(btnDefaults, &QPushButton::clicked, this, [this] { DefaultsClicked(); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { AboutClicked(); });
}

void TfmPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The version sits in the strip under the result line.
    lblVersion_->adjustSize();
    lblVersion_->move(edtResult_->x(), edtResult_->geometry().bottom() + (33 - lblVersion_->height()) / 2);
    if (centred_ || !driver_) return;
    centred_ = true;
    // A 1C:Enterprise host shows the frame where the system puts it; the page centres it on the screen.
    Guard([this] {
        if (!driver_->Get(&ITesselDriver::get_IsClient1C) ||
            !driver_->Get(&ITesselDriver::get_IsShowProperties))
            return;
        QWidget* frame = window();
        const QScreen* s = frame->screen() != nullptr ? frame->screen() : QGuiApplication::primaryScreen();
        if (s != nullptr) frame->move(s->availableGeometry().center() - frame->rect().center());
    });
}

void TfmPage::UpdatePropertyPage() {
    Guard([this] {
        LoadValues();
        LoadDevices();
    });
}

void TfmPage::LoadValues() {
    const TDriverCalls& d = *driver_;
    lblVersion_->setText("Версия: " + QString::fromStdString(d.Get(&ITesselDriver::get_Version)));
    lblVersion_->adjustSize();
    chbFuel_->setChecked(d.Get(&ITesselDriver::get_Fuel));
    const std::pair<QSpinBox*, TDriverCalls::TLongGet> spins[] = {
        {edtRepCount_, &ITesselDriver::get_RepCount},
        {edtTimeout_, &ITesselDriver::get_Timeout},
        {edtSrcAddress_, &ITesselDriver::get_SrcAddress},
        {edtDstAddress_, &ITesselDriver::get_DstAddress},
    };
    for (const auto& [spin, get] : spins) {
        const QSignalBlocker quiet(spin);
        spin->setValue(d.Get(get));
    }
    SelectData(cbBaudRate_, d.Get(&ITesselDriver::get_BaudRate));
    SelectData(cbPortNumber_, d.Get(&ITesselDriver::get_PortNumber));
    // Not a click: setting the box runs no action.
    chbDeviceEnabled_->setChecked(d.Get(&ITesselDriver::get_DeviceEnabled));
}

void TfmPage::LoadDevices() {
    const TDriverCalls& d = *driver_;
    const LONG current = d.Get(&ITesselDriver::get_LDIndex);
    const LONG count = d.Get(&ITesselDriver::get_LDCount);
    cbDevice_->clear();
    {
        TFinally back([&] { d.Put(&ITesselDriver::put_LDIndex, current); });
        for (LONG i = 0; i < count; ++i) {
            d.Put(&ITesselDriver::put_LDIndex, i);
            cbDevice_->addItem(DeviceEntryText(d.Get(&ITesselDriver::get_LDNumber),
                                               QString::fromStdString(d.Get(&ITesselDriver::get_LDName))));
        }
    }
    cbDevice_->setCurrentIndex(current);
    const bool locked = d.Get(&ITesselDriver::get_LockDevices);
    cbDevice_->setEnabled(count >= 2 && !locked);
    btnDevice_->setEnabled(!locked);
}

void TfmPage::UpdateObject() {
    const TDriverCalls& d = *driver_;
    d.Put(&ITesselDriver::put_Fuel, chbFuel_->isChecked());
    // A value the lists do not hold (a port above 32) is left as the driver has it.
    if (cbBaudRate_->currentIndex() >= 0)
        d.Put(&ITesselDriver::put_BaudRate, cbBaudRate_->currentData().toInt());
    d.Put(&ITesselDriver::put_DstAddress, edtDstAddress_->value());
    if (cbPortNumber_->currentIndex() >= 0)
        d.Put(&ITesselDriver::put_PortNumber, cbPortNumber_->currentData().toInt());
    d.Put(&ITesselDriver::put_SrcAddress, edtSrcAddress_->value());
    d.Put(&ITesselDriver::put_RepCount, edtRepCount_->value());
    d.Put(&ITesselDriver::put_Timeout, edtTimeout_->value());
}

bool TfmPage::Apply() {
    return Guard([this] { UpdateObject(); });
}

bool TfmPage::Guard(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const EDriverError& e) {
        edtResult_->setText(QString("(%1) %2").arg(e.ErrorCode()).arg(QString::fromStdString(e.what())));
    } catch (const std::exception& e) {
        edtResult_->setText(QString::fromStdString(e.what()));
    } catch (...) {
        edtResult_->setText("Неизвестная ошибка");
    }
    return false;
}

void TfmPage::RunAction(const std::function<void()>& action) {
    for (QPushButton* b : actionButtons_) b->setEnabled(false);
    Guard(action);
    for (QPushButton* b : actionButtons_) b->setEnabled(true);
}

void TfmPage::ShowResult() {
    edtResult_->setText(QString::fromStdString(driver_->ResultLine()));
}

void TfmPage::Modified() {
    if (onModified) onModified();
}

void TfmPage::ConnectClicked() {
    RunAction([this] {
        const TDriverCalls& d = *driver_;
        UpdateObject();
        const bool enabled = d.Get(&ITesselDriver::get_DeviceEnabled);
        TFinally restore([&] { d.Put(&ITesselDriver::put_DeviceEnabled, enabled); });
        edtResult_->clear();
        d.Call(&ITesselDriver::GetDeviceMetrics);
        if (d.Get(&ITesselDriver::get_ResultCode) != 0)
            ShowResult();
        else
            edtResult_->setText("Название ККМ: " +
                                QString::fromStdString(d.Get(&ITesselDriver::get_UDescription)));
    });
}

void TfmPage::SetBaudRateClicked() {
    RunAction([this] {
        const TDriverCalls& d = *driver_;
        const LONG present = d.Get(&ITesselDriver::get_BaudRate);
        const LONG chosen = cbBaudRate_->currentIndex() >= 0 ? cbBaudRate_->currentData().toInt() : present;
        const bool enabled = d.Get(&ITesselDriver::get_DeviceEnabled);
        TFinally restore([&] { d.Put(&ITesselDriver::put_DeviceEnabled, enabled); });
        UpdateObject();
        // The register is still at the present speed: ask it there to move to the chosen one.
        d.Put(&ITesselDriver::put_BaudRate, present);
        d.Put(&ITesselDriver::put_DeviceEnabled, true);
        if (d.Get(&ITesselDriver::get_ResultCode) == 0) {
            d.Call(&ITesselDriver::GetECRStatus);
            if (d.Get(&ITesselDriver::get_ResultCode) == 0) {
                d.Put(&ITesselDriver::put_ECRPortNumber, 0);
                d.Put(&ITesselDriver::put_ECRTimeout, 100);
                d.Put(&ITesselDriver::put_ECRBaudRate, chosen);
                d.Call(&ITesselDriver::SetExchangeParam);
            }
        }
        ShowResult();
        // The driver follows the register only once it has moved: else it stays where the register answers,
        // and the page shows that speed.
        if (d.Get(&ITesselDriver::get_ResultCode) == 0)
            d.Put(&ITesselDriver::put_BaudRate, chosen);
        else
            SelectData(cbBaudRate_, present);
    });
}

void TfmPage::DialogClicked(TDriverCalls::TMethod method) {
    RunAction([this, method] {
        const TScopedParentWnd owner(*driver_, static_cast<LONG>(window()->winId()));
        driver_->Call(method);
        ShowResult();
    });
}

void TfmPage::SearchClicked() {
    RunAction([this] {
        LONG code = 0;
        {
            const TScopedParentWnd owner(*driver_, static_cast<LONG>(window()->winId()));
            code = driver_->Call(&ITesselDriver::ShowSearchDlg);
        }
        LoadValues();
        // A search that could not be shown says why; one that ran leaves the line empty.
        if (code != 0)
            ShowResult();
        else
            edtResult_->clear();
    });
}

void TfmPage::AboutClicked() {
    RunAction([this] {
        // AboutBox yields nothing and keeps the last result, which its own failure replaces: a failure
        // standing after it stays in the line (the same failure twice cannot be told from an earlier one
        // kept).
        const HRESULT hr = driver_->Interface()->AboutBox();
        if (FAILED(hr)) throw std::runtime_error("Окно «О программе» не открылось");
        if (driver_->Get(&ITesselDriver::get_ResultCode) != 0)
            ShowResult();
        else
            edtResult_->clear();
    });
}

void TfmPage::DefaultsClicked() {
    RunAction([this] {
        driver_->Call(&ITesselDriver::SetDefaults);
        LoadValues();
    });
}

void TfmPage::DeviceClicked() {
    Guard([this] {
        const LONG current = driver_->Get(&ITesselDriver::get_LDIndex);
        const bool listChanged = ShowDevices(*driver_, this);
        // A row clicked in the dialog makes its device the current one: the page shows that device from now
        // on, or its next write would give it the settings of the device it showed.
        if (listChanged || driver_->Get(&ITesselDriver::get_LDIndex) != current)
            UpdatePropertyPage();
        else
            LoadDevices();  // a device may have been renamed
    });
}

void TfmPage::DeviceChosen(int index) {
    Guard([this, index] {
        // The settings on the page belong to the device being left.
        UpdateObject();
        driver_->Put(&ITesselDriver::put_LDIndex, index);
        LoadValues();
    });
}

void TfmPage::DeviceEnabledClicked() {
    Guard([this] {
        UpdateObject();
        driver_->Put(&ITesselDriver::put_DeviceEnabled, chbDeviceEnabled_->isChecked());
        ShowResult();
        chbDeviceEnabled_->setChecked(driver_->Get(&ITesselDriver::get_DeviceEnabled));
    });
}
