#include "driver/dialogs/fmuSearch.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "driver/dialogs/fmuSrDlg.h"

namespace {

enum TColumn { kPort, kSpeed, kAddress, kKind, kName };

}  // namespace

TfmSearch::TfmSearch(QWidget* parent, ITesselDriver* driver)
    : TMyForm(parent), driver_(std::make_unique<TDriverCalls>(driver)) {
    setObjectName("TfmSearch");
    setWindowTitle("Поиск ККМ");

    lblInfo_ = new QLabel(this);
    lblInfo_->setObjectName("lblInfo");
    auto* combination = new QGridLayout;
    combination->setHorizontalSpacing(4);
    const std::tuple<const char*, const char*, const char*, QLabel**> rows[] = {
        {"lblPort_", "lblPort", "Порт", &lblPort_},
        {"lblBaudRate_", "lblBaudRate", "Скорость", &lblBaudRate_},
        {"lblECRType_", "lblECRType", "Тип ККМ", &lblECRType_},
    };
    int line = 0;
    for (const auto& [headingName, valueName, heading, value] : rows) {
        auto* headingLabel = new QLabel(heading, this);
        headingLabel->setObjectName(headingName);
        *value = new QLabel(this);
        (*value)->setObjectName(valueName);
        combination->addWidget(headingLabel, line, 0);
        combination->addWidget(*value, line, 1);
        comboLabels_ << headingLabel << *value;
        ++line;
    }
    combination->setColumnStretch(1, 1);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setTextVisible(false);
    auto* lblDevices = new QLabel("Найденные ККМ:", this);
    lblDevices->setObjectName("lblDevices");
    listView_ = new QTreeWidget(this);
    listView_->setObjectName("ListView");
    listView_->setColumnCount(5);
    listView_->setHeaderLabels({"Порт", "Скорость", "Адрес", "Тип", "Название"});
    listView_->setRootIsDecorated(false);
    listView_->setUniformRowHeights(true);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {80, 70, 50, 80, 117};
    int listWidth = 2 * listView_->frameWidth() + 4;
    for (int c = 0; c < 5; ++c) {
        listView_->setColumnWidth(c, widths[c]);
        listWidth += widths[c];
    }
    listView_->setMinimumSize(listWidth, listView_->fontMetrics().height() * 9);
    lblDevices->setBuddy(listView_);
    // The hidden controls keep their room, so the window does not change while a search starts and ends.
    for (QWidget* w :
         std::initializer_list<QWidget*>{comboLabels_[0], comboLabels_[1], comboLabels_[2], comboLabels_[3],
                                         comboLabels_[4], comboLabels_[5], progressBar_}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    btnStart_ = NewButton(this, "btnStart", "Начать");
    btnSetup_ = NewButton(this, "btnSetup", "Свойства...");
    QPushButton* btnOK = NewButton(this, "btnOK", "OK");
    btnOK->setDefault(true);
    QPushButton* btnClose = NewButton(this, "btnClose", "Отмена");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnSetup_);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnClose);
    auto* left = new QVBoxLayout;
    left->addWidget(lblInfo_);
    left->addLayout(combination);
    left->addWidget(progressBar_);
    left->addSpacing(4);
    left->addWidget(lblDevices);
    left->addWidget(listView_);
    auto* all = new QHBoxLayout(this);
    all->setContentsMargins(12, 12, 12, 12);
    all->addLayout(left);
    all->addSpacing(4);
    all->addLayout(buttons);

    connect(btnStart_, &QPushButton::clicked, this, [this] { form_->StartClicked(); });
    connect(btnSetup_, &QPushButton::clicked, this, [this] { form_->SetupClicked(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { form_->Choose(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    // A double click anywhere on the list chooses, as OK does.
    listView_->viewport()->installEventFilter(this);
    form_ = std::make_unique<TSearchForm>(*driver_, static_cast<ISearchView&>(*this));
    form_->Init();
    FixSize();
    CentreOnScreen();
}

TfmSearch::~TfmSearch() = default;

bool TfmSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listView_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        form_->Choose();
        return true;
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmSearch::done(int result) {
    form_->Closing();
    TMyForm::done(result);
}

void TfmSearch::SetBusy(bool) {
    // The search window runs no action with its buttons held: the form enables them itself.
}

void TfmSearch::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmSearch::Post(std::function<void()> task) {
    // A queued call on this window: dropped with the window when it is destroyed first.
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void TfmSearch::ShowInfo(const std::string& text) {
    lblInfo_->setText(QString::fromStdString(text));
}

void TfmSearch::ShowProgressControls(bool shown) {
    for (QLabel* label : comboLabels_) label->setVisible(shown);
    progressBar_->setVisible(shown);
}

void TfmSearch::ShowCombination(const std::string& port, const std::string& speed, const std::string& kind) {
    lblPort_->setText(QString::fromStdString(port));
    lblBaudRate_->setText(QString::fromStdString(speed));
    lblECRType_->setText(QString::fromStdString(kind));
}

void TfmSearch::SetProgress(int position, int maximum) {
    progressBar_->setRange(0, maximum);
    progressBar_->setValue(position);
}

void TfmSearch::SetStartButton(const std::string& caption, bool enabled) {
    btnStart_->setText(QString::fromStdString(caption));
    btnStart_->setEnabled(enabled);
}

void TfmSearch::EnableStart(bool enabled) {
    btnStart_->setEnabled(enabled);
}

void TfmSearch::EnableSetup(bool enabled) {
    btnSetup_->setEnabled(enabled);
}

void TfmSearch::ClearRows() {
    listView_->clear();
}

void TfmSearch::AddRow(const TSearchRow& device) {
    auto* row = new QTreeWidgetItem(listView_);
    row->setText(kPort, QString::fromStdString(device.port));
    row->setText(kSpeed, QString::fromStdString(device.speed));
    row->setText(kAddress, QString::fromStdString(device.address));
    row->setText(kKind, QString::fromStdString(device.kind));
    row->setText(kName, QString::fromStdString(device.name));
    row->setData(kPort, Qt::UserRole, device.id);
    listView_->setCurrentItem(row);
    listView_->scrollToItem(row);
}

std::int32_t TfmSearch::SelectedRow() const {
    const QTreeWidgetItem* row = listView_->currentItem();
    return row != nullptr && row->isSelected() ? row->data(kPort, Qt::UserRole).toInt() : 0;
}

bool TfmSearch::EditParams(TSearchParams& params) {
    if (!paramsWindow_) paramsWindow_ = std::make_unique<TfmSearchParams>(this);
    return paramsWindow_->Edit(params);
}

void TfmSearch::Close(bool ok) {
    ok ? accept() : reject();
}

LONG ShowSearch(const TDialogCall& call) {
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmSearch dialog(owner.Widget(), call.driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
