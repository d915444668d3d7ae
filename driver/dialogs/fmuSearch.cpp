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

#include "common/platform/MessageQueue.h"
#include "driver/dialogs/fmuSrDlg.h"

namespace {

enum TColumn { kPort, kSpeed, kAddress, kKind, kName };

QString KindText(bool fuel) {
    return fuel ? "бензиновая" : "обычная";
}

// "COM5", or "COM5 (tcp://10.0.0.7:4001)" for a port mapped to a network address.
QString PortText(std::int32_t port, const std::string& address) {
    const QString name = QString("COM%1").arg(port);
    return address.empty() ? name : name + " (" + QString::fromStdString(address) + ")";
}

}  // namespace

TfmSearch::TfmSearch(QWidget* parent, ITesselDriver* driver)
    : TMyForm(parent), driver_(std::make_unique<TDriverCalls>(driver)) {
    setObjectName("TfmSearch");
    setWindowTitle("Поиск ККМ");
    params_.Load();

    lblInfo_ = new QLabel("Для начала поиска нажмите кнопку \"Начать\"", this);
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
        w->hide();
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

    connect(btnStart_, &QPushButton::clicked, this, [this] { StartClicked(); });
    connect(btnSetup_, &QPushButton::clicked, this, [this] { SetupClicked(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { Choose(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    // A double click anywhere on the list chooses, as OK does.
    listView_->viewport()->installEventFilter(this);
    FixSize();
    CentreOnScreen();
}

TfmSearch::~TfmSearch() {
    StopEngine();
}

bool TfmSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listView_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Choose();
        return true;
    }
    return TMyForm::eventFilter(watched, event);
}

TECRSearch& TfmSearch::Engine() {
    if (!search_) {
        auto search = std::make_unique<TECRSearch>(driver_->Interface());
        // The search thread hands each notification to this window's thread and never waits for it: the
        // window's thread waits for the search thread when it stops the search.
        search->SetOnNotify([this](const TSearchNotification& n) {
            QMetaObject::invokeMethod(
                this, [this, n] { Notified(n); }, Qt::QueuedConnection);
        });
        // The driver raises the answers' events on this thread, from its message queue: asked at the end of
        // a quiet wait, this thread raises at once what waits there, so that an answer that came in time is
        // not lost to this thread being slow to run.
        search->SetDeliverAnswers([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    try {
                        tessel::MessageQueue::ForCurrentThread()->DispatchPending();
                    } catch (const std::exception&) {
                        // A failed delivery is the driver's to log; the search goes on with what came.
                    }
                    if (search_) search_->AnswersDelivered();
                },
                Qt::QueuedConnection);
        });
        search_ = std::move(search);
    }
    return *search_;
}

void TfmSearch::StopEngine() {
    // Stops a running search, waits for it and disconnects from the driver's events.
    search_.reset();
}

void TfmSearch::done(int result) {
    StopEngine();
    TMyForm::done(result);
}

void TfmSearch::StartClicked() {
    ShowErrors([this] {
        // "Прервать": the window shows a search from its start to its end.
        if (search_ && running_) {
            btnStart_->setEnabled(false);
            search_->Stop();
            return;
        }
        params_.Validate();
        TECRSearch& search = Engine();
        btnStart_->setEnabled(false);
        try {
            search.Start(params_);
        } catch (...) {
            btnStart_->setEnabled(true);
            throw;
        }
    });
}

void TfmSearch::SetupClicked() {
    ShowErrors([this] {
        if (!paramsWindow_) paramsWindow_ = std::make_unique<TfmSearchParams>(this);
        if (paramsWindow_->Edit(params_)) params_.Save();
    });
}

void TfmSearch::Notified(const TSearchNotification& n) {
    ShowErrors([&] {
        switch (n.State) {
            case ssStarted:
                running_ = true;
                btnSetup_->setEnabled(false);
                btnStart_->setText("Прервать");
                btnStart_->setEnabled(true);
                lblInfo_->setText("Выполняется поиск:");
                for (QLabel* value : {lblPort_, lblBaudRate_, lblECRType_}) value->clear();
                for (QLabel* label : comboLabels_) label->show();
                // Every item of both lists, checked or not.
                progressBar_->setRange(0, static_cast<int>(params_.Count(TSearchList::BaudRates) *
                                                           params_.Count(TSearchList::ECRTypes)));
                progressBar_->setValue(0);
                counted_ = {0, 0};
                progressBar_->show();
                listView_->clear();
                found_.Clear();
                break;
            case ssNextPort:
                progressBar_->setValue(0);
                counted_ = {0, 0};
                break;
            case ssTrying:
                lblPort_->setText(": " + PortText(n.CurrentPort, n.CurrentPortAddress));
                lblECRType_->setText(": " + KindText(n.CurrentKind == kKindFuel));
                lblBaudRate_->setText(": " + QString::fromStdString(BaudRateText(n.CurrentSpeed)));
                if (counted_ != std::pair(n.CurrentSpeed, n.CurrentKind)) {
                    counted_ = {n.CurrentSpeed, n.CurrentKind};
                    progressBar_->setValue(
                        progressBar_->value() + 1 > progressBar_->maximum() ? 0 : progressBar_->value() + 1);
                }
                break;
            case ssFound: {
                const TSearchECR& device = found_.Add(n.Current);
                auto* row = new QTreeWidgetItem(listView_);
                row->setText(kPort, PortText(device.Port, device.PortAddress));
                row->setText(kSpeed, QString::fromStdString(BaudRateText(device.BaudRate)));
                row->setText(kAddress, QString::number(device.Address));
                row->setText(kKind, KindText(device.Fuel));
                row->setText(kName, QString::fromStdString(device.Description));
                row->setData(kPort, Qt::UserRole, device.ID);
                listView_->setCurrentItem(row);
                listView_->scrollToItem(row);
                break;
            }
            case ssFinished:
                running_ = false;
                btnSetup_->setEnabled(true);
                btnStart_->setText("Начать");
                btnStart_->setEnabled(true);
                for (QLabel* label : comboLabels_) label->hide();
                progressBar_->hide();
                lblInfo_->setText(
                    QString("Поиск завершен. Найдено ККМ: %1").arg(listView_->topLevelItemCount()));
                break;
            default:
                break;
        }
    });
}

void TfmSearch::Choose() {
    setResult(QDialog::Rejected);
    const QTreeWidgetItem* row = listView_->currentItem();
    const TSearchECR* device = row != nullptr && row->isSelected()
                                   ? found_.FindByID(row->data(kPort, Qt::UserRole).toInt())
                                   : nullptr;
    if (device == nullptr) {
        reject();
        return;
    }
    const TSearchECR chosen = *device;
    StopEngine();
    bool set = false;
    ShowErrors([&] {
        const TDriverCalls& d = *driver_;
        d.Put(&ITesselDriver::put_Fuel, chosen.Fuel);
        d.CheckResult();
        d.Put(&ITesselDriver::put_PortNumber, chosen.Port);
        d.CheckResult();
        d.Put(&ITesselDriver::put_BaudRate, chosen.BaudRate);
        d.CheckResult();
        d.Put(&ITesselDriver::put_DstAddress, chosen.Address);
        d.CheckResult();
        set = true;
    });
    set ? accept() : reject();
}

LONG ShowSearch(const TDialogCall& call) {
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmSearch dialog(owner.Widget(), call.driver);
    owner.Attach(dialog);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
