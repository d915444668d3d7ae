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

#include "driver/dialogs/fmuDevice.h"

namespace {

QSpinBox* NewSpin(QWidget* parent, const char* name, int min, int max) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(min, max);
    return spin;
}

void AddItems(QComboBox* box, const std::vector<std::string>& items) {
    for (const std::string& item : items) box->addItem(QString::fromStdString(item));
}

}  // namespace

TfmPage::TfmPage(QWidget* parent, ITesselDriver* driver) : QWidget(parent) {
    setObjectName("TfmPage");
    if (driver != nullptr) {
        driver_ = std::make_unique<TDriverCalls>(driver);
        IPageView& view = *this;  // the base is private: converted here, not in make_unique
        form_ = std::make_unique<TPageForm>(*driver_, view);
    }
    BuildControls();
}

TfmPage::~TfmPage() = default;

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
    AddItems(cbPortNumber_, TPageForm::PortItems());
    cbBaudRate_ = new QComboBox(this);
    cbBaudRate_->setObjectName("cbBaudRate");
    AddItems(cbBaudRate_, TPageForm::BaudRateItems());
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

    QPushButton* btnConnect = NewButton(this, "btnConnect", "Проверка связи");
    QPushButton* btnSetBaudRate = NewButton(this, "btnSetBaudRate", "Установить скорость");
    QPushButton* btnTables = NewButton(this, "btnTables", "Таблицы...");
    QPushButton* btnSearch = NewButton(this, "btnSearch", "Поиск ККМ...");
    QPushButton* btnService = NewButton(this, "btnService", "Управление ККМ");
    QPushButton* btnLogParams = NewButton(this, "btnLogParams", "Параметры лога...");
    QPushButton* btnDefaults = NewButton(this, "btnDefaults", "По умолчанию");
    QPushButton* btnAbout = NewButton(this, "btnAbout", "О программе...");
    actionButtons_ = {btnConnect, btnSetBaudRate, btnTables,   btnSearch,
                      btnService, btnLogParams,   btnDefaults, btnAbout};

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

    connect(cbDevice_, &QComboBox::activated, this, [this](int index) { form_->DeviceChosen(index); });
    connect(btnDevice_, &QPushButton::clicked, this, [this] { form_->DeviceClicked(); });
    connect(cbPortNumber_, &QComboBox::activated, this, [this] { Modified(); });
    connect(cbBaudRate_, &QComboBox::activated, this, [this] { Modified(); });
    for (QSpinBox* spin : {edtDstAddress_, edtSrcAddress_, edtTimeout_, edtRepCount_})
        connect(spin, &QSpinBox::valueChanged, this, [this] { Modified(); });
    connect(chbFuel_, &QCheckBox::clicked, this, [this] { Modified(); });
    connect(chbDeviceEnabled_, &QCheckBox::clicked, this,
            [this](bool checked) { form_->DeviceEnabledClicked(checked); });
    const std::pair<QPushButton*, void (TPageForm::*)()> actions[] = {
        {btnConnect, &TPageForm::ConnectClicked},   {btnSetBaudRate, &TPageForm::SetBaudRateClicked},
        {btnTables, &TPageForm::TablesClicked},     {btnSearch, &TPageForm::SearchClicked},
        {btnService, &TPageForm::ServiceClicked},   {btnLogParams, &TPageForm::LogParamsClicked},
        {btnDefaults, &TPageForm::DefaultsClicked}, {btnAbout, &TPageForm::AboutClicked},
    };
    for (const auto& [button, action] : actions)
        connect(button, &QPushButton::clicked, this, [this, action] { (form_.get()->*action)(); });
}

void TfmPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The version sits in the strip under the result line.
    lblVersion_->adjustSize();
    lblVersion_->move(edtResult_->x(), edtResult_->geometry().bottom() + (33 - lblVersion_->height()) / 2);
    if (form_) form_->Shown();
}

void TfmPage::CentreFrame() {
    QWidget* frame = window();
    const QScreen* s = frame->screen() != nullptr ? frame->screen() : QGuiApplication::primaryScreen();
    if (s != nullptr) frame->move(s->availableGeometry().center() - frame->rect().center());
}

void TfmPage::UpdatePropertyPage() {
    form_->UpdatePropertyPage();
}

bool TfmPage::Apply() {
    return form_->Apply();
}

void TfmPage::Modified() {
    if (onModified) onModified();
}

void TfmPage::SetBusy(bool busy) {
    for (QPushButton* b : actionButtons_) b->setEnabled(!busy);
}

void TfmPage::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmPage::ShowValues(const std::string& version, const TPageSettings& settings, bool deviceEnabled) {
    lblVersion_->setText(QString::fromStdString(version));
    lblVersion_->adjustSize();
    chbFuel_->setChecked(settings.fuel);
    const std::pair<QSpinBox*, LONG> spins[] = {
        {edtRepCount_, settings.repCount},
        {edtTimeout_, settings.timeout},
        {edtSrcAddress_, settings.srcAddress},
        {edtDstAddress_, settings.dstAddress},
    };
    for (const auto& [spin, value] : spins) {
        const QSignalBlocker quiet(spin);
        spin->setValue(value);
    }
    cbBaudRate_->setCurrentIndex(settings.baudRateIndex);
    cbPortNumber_->setCurrentIndex(settings.portIndex);
    // Not a click: setting the box runs no action.
    chbDeviceEnabled_->setChecked(deviceEnabled);
}

TPageSettings TfmPage::Settings() const {
    TPageSettings s;
    s.fuel = chbFuel_->isChecked();
    s.baudRateIndex = cbBaudRate_->currentIndex();
    s.dstAddress = edtDstAddress_->value();
    s.portIndex = cbPortNumber_->currentIndex();
    s.srcAddress = edtSrcAddress_->value();
    s.repCount = edtRepCount_->value();
    s.timeout = edtTimeout_->value();
    return s;
}

void TfmPage::ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                          bool buttonEnabled) {
    cbDevice_->clear();
    for (const std::string& entry : entries) cbDevice_->addItem(QString::fromStdString(entry));
    cbDevice_->setCurrentIndex(current);
    cbDevice_->setEnabled(listEnabled);
    btnDevice_->setEnabled(buttonEnabled);
}

void TfmPage::ShowResult(const std::string& line) {
    edtResult_->setText(QString::fromStdString(line));
}

void TfmPage::ShowDeviceEnabled(bool enabled) {
    chbDeviceEnabled_->setChecked(enabled);
}

void TfmPage::ShowBaudRate(int index) {
    cbBaudRate_->setCurrentIndex(index);
}

LONG TfmPage::OwnerHandle() const {
    return static_cast<LONG>(window()->winId());
}

bool TfmPage::ShowDevicesDialog() {
    return ::ShowDevices(*driver_, this);
}
