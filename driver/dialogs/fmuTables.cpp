#include "driver/dialogs/fmuTables.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/qt/QtText.h"
#include "driver/dialogs/fmuProgr.h"
#include "driver/dialogs/fmuSelTbl.h"
#include "driver/dialogs/fmuTable.h"
#include "driver/dialogs/fmuVTable.h"

namespace {

enum TColumn { kNumber, kName, kRows, kFields };

// Where the file dialogs start: the folder of the host's program, or the user's home folder when that one
// cannot be written.
QString InitialFolder() {
    const QString folder = QCoreApplication::applicationDirPath();
    const QFileInfo info(folder);
    return !folder.isEmpty() && info.isDir() && info.isWritable() ? folder : QDir::homePath();
}

}  // namespace

TfmTables::TfmTables(QWidget* parent, ITesselDriver* driver)
    : TMyForm(parent), driver_(std::make_unique<TDriverCalls>(driver)) {
    setObjectName("TfmTables");
    setWindowTitle("Таблицы");
    listView_ = new QTreeWidget(this);
    listView_->setObjectName("ListView");
    listView_->setColumnCount(4);
    listView_->setHeaderLabels({"Номер", "Название", "Рядов", "Полей"});
    listView_->setRootIsDecorated(false);
    listView_->setUniformRowHeights(true);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->header()->setStretchLastSection(false);
    for (const int c : {kNumber, kRows, kFields})
        listView_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    listView_->setColumnWidth(kNumber, 60);
    listView_->setColumnWidth(kName, 200);
    listView_->setColumnWidth(kRows, 60);
    listView_->setColumnWidth(kFields, 60);
    listView_->setMinimumSize(60 * 3 + 200 + 2 * listView_->frameWidth() + 4,
                              listView_->fontMetrics().height() * 16);

    QPushButton* btnOpen = NewButton(this, "btnOpen", "Открыть...");
    QPushButton* btnRefresh = NewButton(this, "btnRefresh", "Обновить");
    QPushButton* btnLoad = NewButton(this, "btnLoad", "Загрузить...");
    QPushButton* btnSave = NewButton(this, "btnSave", "Сохранить...");
    QPushButton* btnClose = NewButton(this, "btnClose", "Закрыть");
    buttons_ = {btnOpen, btnRefresh, btnLoad, btnSave, btnClose};

    auto* menu = new QMenu(listView_);
    menu->setObjectName("PopupMenu");
    QAction* actOpen = menu->addAction("Открыть...");
    QAction* actRefresh = menu->addAction("Обновить");
    menu->addSeparator();
    QAction* actLoad = menu->addAction("Загрузить...");
    QAction* actSave = menu->addAction("Сохранить...");
    listView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView_, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint& at) { menu->popup(listView_->viewport()->mapToGlobal(at)); });

    auto* buttons = new QVBoxLayout;
    for (QWidget* b : {btnOpen, btnRefresh, btnLoad, btnSave}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* all = new QHBoxLayout(this);
    all->setContentsMargins(12, 12, 12, 12);
    all->addWidget(listView_);
    all->addLayout(buttons);

    const std::function<void()> actions[] = {[this] { OpenTable(); }, [this] { form_->Refresh(); },
                                             [this] { form_->LoadFromFile(); },
                                             [this] { form_->SaveToFile(); }};
    const std::pair<QPushButton*, QAction*> triggers[] = {
        {btnOpen, actOpen}, {btnRefresh, actRefresh}, {btnLoad, actLoad}, {btnSave, actSave}};
    for (int i = 0; i < 4; ++i) {
        connect(triggers[i].first, &QPushButton::clicked, this, actions[i]);
        connect(triggers[i].second, &QAction::triggered, this, actions[i]);
    }
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(listView_, &QTreeWidget::itemDoubleClicked, this, [this] { OpenTable(); });
    listView_->installEventFilter(this);

    // The engine and its progress window belong to this window.
    form_ = std::make_unique<TTablesForm>(*driver_, *this, std::make_unique<TfmProgress>(this));
    FixSize();
    CentreOnScreen();
}

TfmTables::~TfmTables() = default;

bool TfmTables::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listView_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OpenTable();
            return true;
        }
    }
    return TMyForm::eventFilter(watched, event);
}

void TfmTables::OpenTable() {
    form_->OpenTable();
    listView_->setFocus();
}

void TfmTables::SetBusy(bool busy) {
    for (QWidget* b : buttons_) b->setEnabled(!busy);
}

void TfmTables::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text).replace("\r\n", "\n"));
}

void TfmTables::ClearRows() {
    listView_->clear();
}

void TfmTables::ShowRow(const TTableRow& row) {
    // A row the list already has (the list was filled while its rows were on their way) is kept once.
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < listView_->topLevelItemCount() && item == nullptr; ++i)
        if (listView_->topLevelItem(i)->data(kNumber, Qt::UserRole).toInt() == row.number)
            item = listView_->topLevelItem(i);
    if (item == nullptr) item = new QTreeWidgetItem(listView_);
    item->setText(kNumber, QString::number(row.number));
    item->setData(kNumber, Qt::UserRole, row.number);
    item->setText(kName, QString::fromStdString(row.name));
    item->setText(kRows, QString::number(row.rows));
    item->setText(kFields, QString::number(row.fields));
    for (const int c : {kNumber, kRows, kFields})
        item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    listView_->setCurrentItem(item);
    listView_->scrollToItem(item);
}

void TfmTables::SelectFirstRow() {
    if (QTreeWidgetItem* first = listView_->topLevelItem(0)) {
        listView_->setCurrentItem(first);
        listView_->scrollToItem(first);
    }
    listView_->setFocus();
}

std::int32_t TfmTables::SelectedNumber() const {
    const QTreeWidgetItem* item = listView_->currentItem();
    if (item == nullptr || !item->isSelected()) return 0;
    return item->data(kNumber, Qt::UserRole).toInt();
}

void TfmTables::PostRowsAdded() {
    QMetaObject::invokeMethod(
        this, [this] { form_->TakeAddedRows(); }, Qt::QueuedConnection);
}

bool TfmTables::ChooseTables(TTables& tables) {
    TfmSelTbl choice(this, tables);
    return choice.Choose();
}

std::string TfmTables::ChooseFile(const TExportFileChoice& choice) {
    // Owned by this window, so that it opens over it.
    QFileDialog dialog(this, QString(), InitialFolder(), tessel::qt::FileDialogFilter(choice.filter));
    dialog.setObjectName(choice.save ? "SaveDialog" : "OpenDialog");
    dialog.setWindowTitle(QString::fromUtf8(choice.title));
    dialog.setAcceptMode(choice.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(choice.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(choice.defaultExtension);
    dialog.selectFile(choice.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

void TfmTables::OpenEditor(TTable& table, TTableEditorKind kind) {
    if (kind == TTableEditorKind::OneRow) {
        TfmVTable editor(this, *driver_, form_->Engine(), table);
        editor.exec();
    } else {
        TfmTable editor(this, *driver_, form_->Engine(), table);
        editor.exec();
    }
}

void TfmTables::ShowReport(const std::string& text, bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, kDriverCaption,
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.setObjectName("LoadReport");
    box.exec();
}

LONG ShowTables(const TDialogCall& call) {
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmTables dialog(owner.Widget(), call.driver);
    owner.Attach(dialog);
    if (!dialog.Open()) return 0;
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
