#include "tools/cmdtester/fmuMain.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/ini/BigIni.h"
#include "common/qt/ProgramWindows.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/search/untEvent.h"
#include "tools/cmdtester/fmuParams.h"
#include "tools/cmdtester/untCmdIni.h"
#include "tools/testerlib/untEcrCmd.h"

#ifndef TESSEL_CMD_VERSION
#define TESSEL_CMD_VERSION "1.0.0.0"
#endif

using namespace tessel::cmd;

namespace {

constexpr char kInPrefix[] = "[ in] ";
constexpr char kOutPrefix[] = "[out] ";

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

QPushButton* Button(QWidget* parent, const char* name, const char* text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, bool fixedFont) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    if (fixedFont) field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return field;
}

}  // namespace

// The value column's delegate: it knows the editor it has open, so that text being typed can be committed
// before the window reads the grid.
class TParamDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        open_ = editor;
        return editor;
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (open_ == editor) open_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    // Takes the open editor's text into its cell and closes the editor; nothing when none is open.
    void Commit() {
        if (open_ == nullptr) return;
        QWidget* editor = open_;
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

  private:
    mutable QPointer<QWidget> open_;
};

namespace {

// Windows line breaks of the driver's composed messages as this platform breaks lines.
QString MessageText(const std::string& text) {
    return Text(text).replace("\r\n", "\n");
}

}  // namespace

QString TfmMain::Version() {
    return TESSEL_CMD_VERSION;
}

QString TfmMain::Title() {
    return "Тест команд " + Version();
}

TfmMain::TfmMain(TCmdDriver driver, std::string iniFileName, QWidget* parent)
    : QWidget(parent), driver_(std::move(driver)), iniFileName_(std::move(iniFileName)) {
    setObjectName("TfmMain");
    setWindowTitle(Title());

    // The command list with every default, then the driver's events.
    commands_ = CreateEcrCommands(forms_);
    events_ = std::make_unique<TEventDriver>(
        tessel::ComPtr<IUnknown>(&driver_.Dispatch()), DIID_IDriverEvents, [this](std::int32_t id) {
            // Handled once the driver's dispatch has returned, so that no driver call runs inside its event.
            QMetaObject::invokeMethod(
                this, [this, id] { CommandReceived(id); }, Qt::QueuedConnection);
        });
    if (const HRESULT hr = events_->TryConnect(); FAILED(hr))
        throw ECmdDriverError("Не удалось подписаться на события драйвера: " + OleErrorText(hr), hr);

    lbCommands_ = new QListWidget(this);
    lbCommands_->setObjectName("lbCommands");
    sgParams_ = new QTableWidget(0, 2, this);
    sgParams_->setObjectName("sgParams");
    sgParams_->setHorizontalHeaderLabels({"Название", "Значение"});
    sgParams_->verticalHeader()->hide();
    sgParams_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    sgParams_->horizontalHeader()->setStretchLastSection(true);
    sgParams_->setSelectionMode(QAbstractItemView::SingleSelection);
    paramDelegate_ = new TParamDelegate(sgParams_);
    sgParams_->setItemDelegateForColumn(1, paramDelegate_);
    sgParams_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    edResult_ = ReadOnlyField(this, "edResult", false);
    edReceived_ = ReadOnlyField(this, "edReceived", true);
    edSent_ = ReadOnlyField(this, "edSent", true);
    lblSentCount_ = new QLabel(this);
    lblSentCount_->setObjectName("lblSentCount");
    lblReceivedCount_ = new QLabel(this);
    lblReceivedCount_->setObjectName("lblReceivedCount");
    btnExecute_ = Button(this, "btnExecute", "Выполнить");
    btnDriver_ = Button(this, "btnDriver", "Драйвер...");
    btnParams_ = Button(this, "btnParams", "Параметры");
    auto* btnAbout = Button(this, "btnAbout", "О программе");
    auto* btnReset = Button(this, "btnReset", "Сбросить");
    btnClose_ = Button(this, "btnClose", "Закрыть");

    // The caption column as wide as its longest text; the value column takes the rest of the width.
    int captionWidth = sgParams_->horizontalHeader()->sectionSizeHint(0);
    for (const TCommand& c : commands_)
        for (std::size_t i = 0; i < c.ParamCount(); ++i)
            captionWidth = std::max(captionWidth,
                                    fontMetrics().horizontalAdvance(kOutPrefix + Text(c.Param(i).Caption)));
    sgParams_->setColumnWidth(0, captionWidth + 16);
    lbCommands_->setMinimumWidth(fontMetrics().horizontalAdvance("00. *Регистрация по свободной цене") + 32);
    sgParams_->setMinimumWidth(captionWidth + 200);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnExecute_, btnDriver_, btnParams_, btnAbout}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnClose_);
    auto* top = new QHBoxLayout;
    top->addWidget(lbCommands_);
    top->addWidget(sgParams_, 1);
    top->addLayout(buttons);

    auto* counters = new QHBoxLayout;
    counters->addWidget(new QLabel("Передано:", this));
    counters->addWidget(lblSentCount_);
    counters->addSpacing(24);
    counters->addWidget(new QLabel("Принято:", this));
    counters->addWidget(lblReceivedCount_);
    counters->addStretch();
    counters->addWidget(btnReset);
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel("Результат:", this), 0, 0);
    fields->addWidget(edResult_, 0, 1);
    fields->addWidget(new QLabel("Принято:", this), 1, 0);
    fields->addWidget(edReceived_, 1, 1);
    fields->addWidget(new QLabel("Передано:", this), 2, 0);
    fields->addWidget(edSent_, 2, 1);
    fields->addLayout(counters, 3, 0, 1, 2);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 1);
    all->addLayout(fields);

    connect(lbCommands_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != current_) SelectCommand(row);
    });
    connect(btnExecute_, &QPushButton::clicked, this, [this] { Execute(); });
    connect(btnDriver_, &QPushButton::clicked, this, [this] { ShowDriverProperties(); });
    connect(btnParams_, &QPushButton::clicked, this, [this] { EditParams(); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { ShowAbout(); });
    connect(btnReset, &QPushButton::clicked, this, [this] { ResetCounters(); });
    connect(btnClose_, &QPushButton::clicked, this, &QWidget::close);

    try {
        LoadCmdIni(iniFileName_, params_, commands_);
    } catch (const EIniFileError& e) {
        // The program still works with the defaults; saving at the end tries the file again.
        edResult_->setText(Text(e.what()));
    }
    for (std::size_t i = 0; i < commands_.Count(); ++i)
        lbCommands_->addItem(Text(ListText(i, commands_.Items(i))));
    SelectCommand(0);
    ShowCounters();
    resize(960, 600);
}

TfmMain::~TfmMain() = default;

TCommand& TfmMain::Current() {
    return commands_.Items(static_cast<std::size_t>(current_));
}

void TfmMain::SaveGrid() {
    if (current_ < 0) return;
    // A value still being typed is the user's too: a command arriving meanwhile or the window closing must
    // not drop it, nor leave its editor open over another command's row.
    paramDelegate_->Commit();
    TCommand& command = Current();
    for (int row = 0; row < sgParams_->rowCount() && static_cast<std::size_t>(row) < command.ParamCount();
         ++row)
        if (const QTableWidgetItem* item = sgParams_->item(row, 1))
            command.Param(static_cast<std::size_t>(row)).Text = item->text().toStdString();
}

void TfmMain::ShowCommand() {
    const TCommand& command = Current();
    sgParams_->setRowCount(static_cast<int>(command.ParamCount()));
    for (std::size_t i = 0; i < command.ParamCount(); ++i) {
        const TCmdParam& p = command.Param(i);
        auto* caption =
            new QTableWidgetItem((i < command.InParams.size() ? kInPrefix : kOutPrefix) + Text(p.Caption));
        caption->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        caption->setToolTip(Text(p.Name));
        auto* value = new QTableWidgetItem(Text(p.Text));
        value->setFlags(p.ReadOnly ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                   : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        sgParams_->setItem(static_cast<int>(i), 0, caption);
        sgParams_->setItem(static_cast<int>(i), 1, value);
    }
}

void TfmMain::SelectCommand(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= commands_.Count()) return;
    SaveGrid();
    current_ = index;
    {
        const QSignalBlocker quiet(lbCommands_);
        lbCommands_->setCurrentRow(index);
    }
    ShowCommand();
}

void TfmMain::ShowResult() {
    try {
        edResult_->setText(QString("(%1) %2")
                               .arg(driver_.GetLong("ResultCode"))
                               .arg(Text(driver_.GetText("ResultDescription"))));
    } catch (const ECmdDriverError& e) {
        edResult_->setText(Text(e.what()));
    }
}

void TfmMain::ShowCounters() {
    lblSentCount_->setText(QString::number(sent_));
    lblReceivedCount_->setText(QString::number(received_));
}

void TfmMain::ShowError(const QString& text) {
    tessel::qt::ShowErrorBox(this, Title(), text);
}

void TfmMain::EnableButtons(bool on) {
    for (QPushButton* b : {btnClose_, btnDriver_, btnParams_, btnExecute_}) b->setEnabled(on);
}

void TfmMain::Execute() {
    edResult_->clear();
    edReceived_->clear();
    edSent_->clear();
    EnableButtons(false);
    try {
        driver_.PutBool("DeviceEnabled", true);
        if (driver_.GetLong("ResultCode") == 0) {
            SaveGrid();
            TCommand& command = Current();
            driver_.WriteParams(command.InParams, forms_);
            driver_.WriteParams(command.OutParams, forms_);
            driver_.PutLong("CommandType", 0);
            driver_.PutLong("CommandCode", command.Code);
            driver_.PutLong("CommandDstAddress", driver_.GetLong("DstAddress"));
            driver_.PutLong("CommandSrcAddress", driver_.GetLong("SrcAddress"));
            driver_.PutLong("Timeout", params_.Timeout);
            driver_.PutBool("WaitAnswer", params_.WaitAnswer);
            ++sent_;
            const LONG result = driver_.Call("SendCommand");
            if (result == 0) edSent_->setText(Text(driver_.GetText("CommandCadrHex")));
            if (result == 0 && params_.WaitAnswer) {
                ++received_;
                driver_.ReadParams(command.OutParams, forms_);
                ShowCommand();
            }
        }
        ShowResult();
    } catch (const std::exception& e) {
        ShowError(MessageText(e.what()));
    }
    ShowCounters();
    EnableButtons(true);
}

void TfmMain::CommandReceived(std::int32_t commandID) {
    ++received_;
    ShowCounters();
    try {
        driver_.PutLong("CommandID", commandID);
        if (driver_.Call("GetCommandParams") != 0) {
            ShowResult();
            return;
        }
        driver_.Call("DeleteCommand");
        edReceived_->setText(Text(driver_.GetText("CommandCadrHex")));
        const int index = commands_.IndexOfCode(driver_.GetLong("CommandCode"));
        if (index < 0) {
            ShowResult();
            return;
        }
        SelectCommand(index);
        TCommand& command = Current();
        if (driver_.GetLong("CommandType") != 0) {
            // An answer: what the register answered.
            driver_.ReadParams(command.OutParams, forms_);
            ShowCommand();
        } else {
            // A request: what the register asks, and the grid's outputs as the answer.
            driver_.ReadParams(command.InParams, forms_);
            ShowCommand();
            if (params_.SendAnswer) {
                SaveGrid();
                driver_.WriteParams(command.OutParams, forms_);
                driver_.PutLong("CommandType", 1);
                driver_.PutLong("CommandDstAddress", driver_.GetLong("CommandSrcAddress"));
                driver_.PutLong("CommandSrcAddress", driver_.GetLong("SrcAddress"));
                // An answer is not answered: waiting would only stall the window for the time-out.
                driver_.PutBool("WaitAnswer", false);
                driver_.Call("SendCommand");
                edSent_->setText(Text(driver_.GetText("CommandCadrHex")));
            }
        }
        ShowResult();
    } catch (const std::exception& e) {
        ShowError(MessageText(e.what()));
    }
}

void TfmMain::SaveSettings() {
    SaveGrid();
    SaveCmdIni(iniFileName_, params_, commands_);
}

void TfmMain::EditParams() {
    TfmParams dialog(params_, this);
    if (dialog.exec() == QDialog::Accepted) params_ = dialog.Params();
}

void TfmMain::ShowDriverProperties() {
    try {
        driver_.PutLong("ParentWnd", static_cast<LONG>(winId()));
        driver_.Call("ShowProperties");
        ShowResult();
    } catch (const std::exception& e) {
        ShowError(MessageText(e.what()));
    }
}

void TfmMain::ShowAbout() {
    QString driverVersion;
    try {
        driverVersion = Text(driver_.GetText("Version"));
    } catch (const std::exception& e) {
        ShowError(MessageText(e.what()));
        return;
    }
    tessel::qt::ShowProgramAbout(this, "Тест команд", Version(), driverVersion);
}

void TfmMain::ResetCounters() {
    sent_ = 0;
    received_ = 0;
    ShowCounters();
}

void TfmMain::closeEvent(QCloseEvent* event) {
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        QMessageBox::warning(this, Title(), "Настройки не сохранены: " + Text(e.what()));
    }
    event->accept();
}
