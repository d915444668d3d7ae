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
#include "driver/dialogs/fmuTableGrid.h"
#include "driver/dialogs/fmuVTable.h"

const char* const TfmTables::kFilter = "Файлы экспорта/импорта (*.xch)|*.xch|Все файлы (*.*)|*.*";

namespace {

enum TColumn { kNumber, kName, kRows, kFields };

// Where the file dialogs start: the folder of the host's program, or the user's home folder when that one
// cannot be written.
QString InitialFolder() {
    const QString folder = QCoreApplication::applicationDirPath();
    const QFileInfo info(folder);
    return !folder.isEmpty() && info.isDir() && info.isWritable() ? folder : QDir::homePath();
}

// The cells a write of the chosen tables is to send: the Modified ones of the Selected tables.
long long MarkedCells(const TTables& tables) {
    long long marked = 0;
    for (int i = 0; i < tables.Count(); ++i) {
        const TTable& table = tables.Items(i);
        if (!table.Selected) continue;
        for (int k = 0; k < table.Fields().Count(); ++k) marked += table.Fields().Items(k).Modified ? 1 : 0;
    }
    return marked;
}

// What a load wrote. The engine unmarks the numbers it refuses to send and keeps the marks of the cells
// written; `complete` is false when the write was given up or aborted, which leaves the register holding
// part of the file.
QString LoadReport(long long markedBefore, long long markedAfter, const std::vector<int>& skippedLines,
                   bool complete) {
    QStringList lines;
    if (complete)
        lines << QString("Записано значений полей: %1.").arg(markedAfter);
    else
        lines << "Запись таблиц прервана: в ККМ может быть записана только часть файла.";
    if (markedBefore > markedAfter)
        lines << QString("Не записаны недопустимые числа: %1.").arg(markedBefore - markedAfter);
    if (!skippedLines.empty()) {
        QStringList numbers;
        for (const int line : skippedLines) numbers << QString::number(line);
        lines << QString("Пропущены строки файла без знака \"=\": %1.").arg(numbers.join(", "));
    }
    return lines.join('\n');
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

    for (auto [button, action, handler] : {std::tuple{btnOpen, actOpen, &TfmTables::OpenTable},
                                           std::tuple{btnRefresh, actRefresh, &TfmTables::Refresh},
                                           std::tuple{btnLoad, actLoad, &TfmTables::LoadFromFile},
                                           std::tuple{btnSave, actSave, &TfmTables::SaveToFile}}) {
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    }
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(listView_, &QTreeWidget::itemDoubleClicked, this, [this] { OpenTable(); });
    listView_->installEventFilter(this);

    // The engine and its progress window belong to this window.
    ecr_ = std::make_unique<TECR>(driver, std::make_unique<TfmProgress>(this));
    // Tables are added on the engine's worker: what the row shows is copied there.
    ecr_->Tables().OnAdd = [this](TTable& table) {
        TRow row{table.Number, QString::fromStdString(table.Name), table.RowCount, table.FieldCount};
        QMetaObject::invokeMethod(
            this, [this, row] { AddRow(row); }, Qt::QueuedConnection);
    };
    FixSize();
    CentreOnScreen();
}

TfmTables::~TfmTables() {
    // Every operation has ended (its worker with it) by now.
    ecr_->Tables().OnAdd = nullptr;
}

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

bool TfmTables::Open() {
    const bool opened = ecr_->Open();
    TakePendingRows();
    if (!opened) return false;
    listView_->clear();
    for (int i = 0; i < ecr_->Tables().Count(); ++i) {
        const TTable& t = ecr_->Tables().Items(i);
        AddRow({t.Number, QString::fromStdString(t.Name), t.RowCount, t.FieldCount});
    }
    if (QTreeWidgetItem* first = listView_->topLevelItem(0)) {
        listView_->setCurrentItem(first);
        listView_->scrollToItem(first);
    }
    listView_->setFocus();
    return true;
}

void TfmTables::AddRow(const TRow& row) {
    // A row the list already has (the list was filled while its rows were on their way) is kept once.
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < listView_->topLevelItemCount() && item == nullptr; ++i)
        if (listView_->topLevelItem(i)->data(kNumber, Qt::UserRole).toInt() == row.number)
            item = listView_->topLevelItem(i);
    if (item == nullptr) item = new QTreeWidgetItem(listView_);
    item->setText(kNumber, QString::number(row.number));
    item->setData(kNumber, Qt::UserRole, row.number);
    item->setText(kName, row.name);
    item->setText(kRows, QString::number(row.rows));
    item->setText(kFields, QString::number(row.fields));
    for (const int c : {kNumber, kRows, kFields})
        item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    listView_->setCurrentItem(item);
    listView_->scrollToItem(item);
}

void TfmTables::TakePendingRows() {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

TTable* TfmTables::SelectedTable() const {
    const QTreeWidgetItem* item = listView_->currentItem();
    if (item == nullptr || !item->isSelected()) return nullptr;
    return ecr_->Tables().FindByNumber(item->data(kNumber, Qt::UserRole).toInt());
}

void TfmTables::Run(const std::function<void()>& action) {
    RunTableAction(buttons_, action);
}

void TfmTables::OpenTable() {
    Run([this] {
        TTable* table = SelectedTable();
        if (table == nullptr) return;
        // A cached structure that lacks definitions is read again, as one that has none.
        if (!table->StructureComplete()) {
            if (!ecr_->ReadFieldStructure(*table)) return;  // given up or aborted: the user knows
            table->SaveFieldDefs();
        }
        if (table->FieldDefs().Count() == 0) throw ETablesError("Количество полей в таблице равно 0.");
        if (table->RowCount == 0)
            throw ETablesError("Количество рядов в таблице равно 0.\r\nТаблица не содержит данных.");
        if (table->RowCount == 1) {
            TfmVTable editor(this, *driver_, *ecr_, *table);
            editor.exec();
        } else {
            TfmTable editor(this, *driver_, *ecr_, *table);
            editor.exec();
        }
    });
    listView_->setFocus();
}

void TfmTables::Refresh() {
    Run([this] {
        listView_->clear();
        struct TDone {
            TfmTables& window;
            ~TDone() { window.TakePendingRows(); }
        } done{*this};
        ecr_->ReadStructure();
    });
}

void TfmTables::SaveToFile() {
    Run([this] {
        TTables& tables = ecr_->Tables();
        TfmSelTbl choice(this, tables);
        if (!choice.Choose() || !tables.HasSelected()) return;
        const QString path = ChooseFile(QFileDialog::AcceptSave);
        if (path.isEmpty() || !ecr_->ReadSelected()) return;
        const TExportResult result = tables.SaveToFile(path.toStdString());
        // Two tables whose names are one section name cannot both be in the file: say which is missing. The
        // table holding the section is not always known (names that differ in a line break, which a section
        // name cannot hold).
        QStringList missing;
        for (const TExportResult::TLeftOut& left : result.LeftOut) {
            const QString name = QString::fromStdString(left.Table->Name);
            missing
                << (left.Holder != nullptr
                        ? QString("Таблица \"%1\" не сохранена: в файле её не отличить от таблицы \"%2\".")
                              .arg(name, QString::fromStdString(left.Holder->Name))
                        : QString("Таблица \"%1\" не сохранена: в файле её не отличить от другой таблицы.")
                              .arg(name));
        }
        if (!missing.isEmpty()) ShowError(missing.join('\n'));
    });
}

void TfmTables::LoadFromFile() {
    Run([this] {
        const QString path = ChooseFile(QFileDialog::AcceptOpen);
        if (path.isEmpty()) return;
        TTables& tables = ecr_->Tables();
        // Each load starts with nothing chosen and nothing marked: what an earlier load marked, or a load
        // that failed left, must never be written by this one's OK.
        tables.ClearSelection();
        for (int i = 0; i < tables.Count(); ++i) tables.Items(i).Fields().ClearModified();
        if (!QFileInfo::exists(path)) throw ETablesError("Файл не найден: " + path.toStdString());
        const std::vector<int> skipped = tables.LoadFromFile(path.toStdString());
        TfmSelTbl choice(this, tables);
        if (!choice.Choose() || !tables.HasSelected()) return;
        const long long marked = MarkedCells(tables);
        const bool complete = ecr_->WriteSelected();
        const QString report = LoadReport(marked, MarkedCells(tables), skipped, complete);
        QMessageBox box(complete ? QMessageBox::Information : QMessageBox::Warning, kDriverCaption, report,
                        QMessageBox::Ok, this);
        box.setObjectName("LoadReport");
        box.exec();
    });
}

QString TfmTables::ChooseFile(QFileDialog::AcceptMode mode) {
    // Owned by this window, so that it opens over it.
    QFileDialog dialog(this, QString(), InitialFolder(), tessel::qt::FileDialogFilter(kFilter));
    dialog.setObjectName(mode == QFileDialog::AcceptSave ? "SaveDialog" : "OpenDialog");
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("xch");
    dialog.selectFile("Таблицы");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

LONG ShowTables(const TDialogCall& call) {
    const TOwner owner = TOwner::FromHandle(call.parentWnd);
    TfmTables dialog(owner.Widget(), call.driver);
    owner.Attach(dialog);
    if (!dialog.Open()) return 0;
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
