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

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

TfmDevice::TfmDevice(QWidget* parent, const TDriverCalls& driver) : TMyForm(parent), form_(driver, *this) {
    setWindowTitle("Логические устройства");
    lbDevice_ = new QListWidget(this);
    lbDevice_->setObjectName("lbDevice");
    edtDeviceName_ = new QLineEdit(this);
    edtDeviceName_->setObjectName("edtDeviceName");
    edtDeviceName_->setMaxLength(TDevicesForm::kMaxNameLength);
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

    connect(btnAdd_, &QPushButton::clicked, this, [this] { form_.AddClicked(); });
    connect(actAdd_, &QAction::triggered, this, [this] { form_.AddClicked(); });
    connect(btnDelete_, &QPushButton::clicked, this, [this] { form_.DeleteClicked(); });
    connect(actDelete_, &QAction::triggered, this, [this] { form_.DeleteClicked(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lbDevice_, &QListWidget::currentRowChanged, this, [this](int row) { form_.RowClicked(row); });
    connect(lbDevice_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(edtDeviceName_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.NameEdited(text.toStdString()); });
    connect(edtDeviceName_, &QLineEdit::returnPressed, this,
            [this] { form_.NameEdited(edtDeviceName_->text().toStdString()); });
    lbDevice_->installEventFilter(this);
    edtDeviceName_->installEventFilter(this);

    form_.Load();
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
        key.key() == Qt::Key_Insert ? form_.AddClicked() : form_.DeleteClicked();
        return true;
    }
    if (watched == edtDeviceName_ && key.key() == Qt::Key_Escape) {
        // Esc here takes back what was typed, not the dialog.
        form_.NameEscaped();
        return true;
    }
    if (watched == edtDeviceName_ && IsEnter(key)) {
        form_.NameEdited(edtDeviceName_->text().toStdString());
        return true;
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmDevice::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmDevice::ShowDevices(const std::vector<std::string>& entries, int current) {
    const QSignalBlocker quiet(lbDevice_);
    lbDevice_->clear();
    for (const std::string& entry : entries) lbDevice_->addItem(QString::fromStdString(entry));
    lbDevice_->setCurrentRow(current);
}

void TfmDevice::ShowEntry(int row, const std::string& text) {
    if (QListWidgetItem* item = lbDevice_->item(row)) item->setText(QString::fromStdString(text));
}

int TfmDevice::SelectedRow() const {
    return lbDevice_->currentRow();
}

void TfmDevice::ShowName(const std::string& name) {
    edtDeviceName_->setText(QString::fromStdString(name));
}

void TfmDevice::EnableAdd(bool enabled) {
    btnAdd_->setEnabled(enabled);
    actAdd_->setEnabled(enabled);
}

void TfmDevice::EnableDelete(bool enabled) {
    btnDelete_->setEnabled(enabled);
    actDelete_->setEnabled(enabled);
}

bool ShowDevices(const TDriverCalls& driver, QWidget* parent) {
    TfmDevice dialog(parent, driver);
    dialog.exec();
    return dialog.Changed();
}
