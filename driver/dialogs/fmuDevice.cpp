#include "driver/dialogs/fmuDevice.h"

#include <QAction>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

constexpr int kMaxDevices = 99;
constexpr int kMaxNameLength = 20;

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

QString DeviceEntryText(LONG number, const QString& name) {
    return QString(number <= 9 ? "№ %1 %2" : "№%1 %2").arg(number).arg(name);
}

TfmDevice::TfmDevice(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), driver_(driver) {
    setWindowTitle("Логические устройства");
    lbDevice_ = new QListWidget(this);
    lbDevice_->setObjectName("lbDevice");
    edtDeviceName_ = new QLineEdit(this);
    edtDeviceName_->setObjectName("edtDeviceName");
    edtDeviceName_->setMaxLength(kMaxNameLength);
    btnAdd_ = new QPushButton("Добавить", this);
    btnAdd_->setObjectName("btnAdd");
    btnDelete_ = new QPushButton("Удалить", this);
    btnDelete_->setObjectName("btnDelete");
    auto* btnClose = new QPushButton("Закрыть", this);
    btnClose->setObjectName("btnClose");
    // Enter belongs to the list and the edit field, never to a button.
    for (QPushButton* b : {btnAdd_, btnDelete_, btnClose}) b->setAutoDefault(false);

    actAdd_ = new QAction("Добавить", lbDevice_);
    actAdd_->setShortcut(Qt::Key_Insert);
    actDelete_ = new QAction("Удалить", lbDevice_);
    actDelete_->setShortcut(Qt::Key_Delete);
    for (QAction* a : {actAdd_, actDelete_}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        lbDevice_->addAction(a);
    }
    lbDevice_->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* listLabel = new QLabel("Список устройств:", this);
    listLabel->setBuddy(lbDevice_);
    auto* nameLabel = new QLabel("Название устройства:", this);
    nameLabel->setBuddy(edtDeviceName_);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnAdd_);
    buttons->addWidget(btnDelete_);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->addWidget(listLabel, 0, 0);
    grid->addWidget(lbDevice_, 1, 0);
    grid->addWidget(nameLabel, 2, 0);
    grid->addWidget(edtDeviceName_, 3, 0);
    grid->addLayout(buttons, 1, 1, 3, 1);
    lbDevice_->setMinimumSize(edtDeviceName_->fontMetrics().horizontalAdvance(QString(26, 'W')) / 2 + 120,
                              lbDevice_->fontMetrics().height() * 10);

    connect(btnAdd_, &QPushButton::clicked, this, [this] { Add(); });
    connect(actAdd_, &QAction::triggered, this, [this] { Add(); });
    connect(btnDelete_, &QPushButton::clicked, this, [this] { Delete(); });
    connect(actDelete_, &QAction::triggered, this, [this] { Delete(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lbDevice_, &QListWidget::currentRowChanged, this, [this](int row) { RowClicked(row); });
    connect(lbDevice_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(edtDeviceName_, &QLineEdit::textEdited, this, [this](const QString& text) { Rename(text); });
    connect(edtDeviceName_, &QLineEdit::returnPressed, this, [this] { Rename(edtDeviceName_->text()); });
    lbDevice_->installEventFilter(this);
    edtDeviceName_->installEventFilter(this);

    ShowErrors([this] { Rebuild(); });
    FixSize();
    CentreOnScreen();
}

bool TfmDevice::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return TMyForm::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (watched == lbDevice_ && IsEnter(key)) {
        reject();
        return true;
    }
    // The menu's keys, also when the window system has not made this window the active one (the menu's own
    // shortcuts act only then; a key they took never reaches this filter).
    if (watched == lbDevice_ && (key.key() == Qt::Key_Insert || key.key() == Qt::Key_Delete)) {
        key.key() == Qt::Key_Insert ? Add() : Delete();
        return true;
    }
    if (watched == edtDeviceName_ && key.key() == Qt::Key_Escape) {
        // Esc here takes back what was typed, not the dialog.
        ShowErrors([this] {
            edtDeviceName_->setText(QString::fromStdString(driver_.Get(&ITesselDriver::get_LDName)));
        });
        return true;
    }
    if (watched == edtDeviceName_ && IsEnter(key)) {
        Rename(edtDeviceName_->text());
        return true;
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmDevice::Rebuild() {
    const LONG current = driver_.Get(&ITesselDriver::get_LDIndex);
    const LONG count = driver_.Get(&ITesselDriver::get_LDCount);
    const QSignalBlocker quiet(lbDevice_);
    lbDevice_->clear();
    try {
        for (LONG i = 0; i < count; ++i) {
            driver_.Put(&ITesselDriver::put_LDIndex, i);
            auto* item = new QListWidgetItem(
                DeviceEntryText(driver_.Get(&ITesselDriver::get_LDNumber),
                                QString::fromStdString(driver_.Get(&ITesselDriver::get_LDName))));
            item->setData(Qt::UserRole, static_cast<int>(driver_.Get(&ITesselDriver::get_LDNumber)));
            lbDevice_->addItem(item);
        }
    } catch (...) {
        driver_.Put(&ITesselDriver::put_LDIndex, current);
        throw;
    }
    driver_.Put(&ITesselDriver::put_LDIndex, current);
    lbDevice_->setCurrentRow(current);
    edtDeviceName_->setText(QString::fromStdString(driver_.Get(&ITesselDriver::get_LDName)));
    btnAdd_->setEnabled(count < kMaxDevices);
    actAdd_->setEnabled(count < kMaxDevices);
    btnDelete_->setEnabled(count > 1);
    actDelete_->setEnabled(count > 1);
}

void TfmDevice::Add() {
    if (!btnAdd_->isEnabled()) return;
    ShowErrors([this] {
        driver_.Check(&ITesselDriver::AddLD);
        changed_ = true;
        Rebuild();
    });
}

void TfmDevice::Delete() {
    if (!btnDelete_->isEnabled()) return;
    ShowErrors([this] {
        driver_.Check(&ITesselDriver::DeleteLD);
        changed_ = true;
        Rebuild();
    });
}

void TfmDevice::RowClicked(int row) {
    if (row < 0) return;
    ShowErrors([this, row] {
        driver_.Put(&ITesselDriver::put_LDIndex, row);
        driver_.CheckResult();
        edtDeviceName_->setText(QString::fromStdString(driver_.Get(&ITesselDriver::get_LDName)));
    });
}

void TfmDevice::Rename(const QString& name) {
    ShowErrors([this, &name] {
        driver_.Put(&ITesselDriver::put_LDName, name.toStdString());
        driver_.CheckResult();
        if (QListWidgetItem* item = lbDevice_->currentItem())
            item->setText(DeviceEntryText(item->data(Qt::UserRole).toInt(), name));
    });
}

bool ShowDevices(const TDriverCalls& driver, QWidget* parent) {
    TfmDevice dialog(parent, driver);
    dialog.exec();
    return dialog.Changed();
}
