#include "driver/dialogs/fmuTable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// Width of the row numbers' column.
constexpr int kRowColumnWidth = 30;

}  // namespace

TfmTable::TfmTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table)
    : TTableEditor(parent, driver, ecr, table) {
    setObjectName("TfmTable");
    auto* grid = new TTableGrid(this);
    grid->setRowCount(table.RowCount);
    grid->setColumnCount(table.FieldCount);
    QStringList rows;
    for (int r = 1; r <= table.RowCount; ++r) rows << QString::number(r);
    grid->setVerticalHeaderLabels(rows);
    grid->verticalHeader()->setFixedWidth(kRowColumnWidth);
    grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->SetCornerText("Ряд");
    const QFontMetrics metrics = grid->fontMetrics();
    int lastWidth = 0;
    for (int c = 0; c < table.FieldCount; ++c) {
        const TFieldDef& def = table.FieldDefs().Items(c);
        grid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromStdString(def.Name)));
        lastWidth = metrics.horizontalAdvance(QString(def.DisplayWidth(), QChar(0x0428))) + 10;  // "Ш"
        grid->setColumnWidth(c, lastWidth);
    }
    for (int k = 0; k < table.Fields().Count(); ++k) {
        const TField& cell = table.Fields().Items(k);
        grid->setItem(cell.Row - 1, cell.FieldNumber - 1,
                      new QTableWidgetItem(QString::fromStdString(cell.Value())));
    }
    grid->SetLastColumnMinimum(lastWidth);
    BindGrid(grid);

    QPushButton* btnReadRow = NewButton(this, "btnReadRow", "Прочитать ряд");
    QPushButton* btnReadAll = NewButton(this, "btnReadAll", "Прочитать все");
    QPushButton* btnClear = NewButton(this, "btnClear", "Очистить");
    QPushButton* btnClose = NewButton(this, "btnClose", "Закрыть");
    buttons_ = {btnReadRow, btnReadAll, btnClear, btnClose};
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar");

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnReadRow);
    bottom->addWidget(btnReadAll);
    bottom->addWidget(btnClear);
    bottom->addStretch();
    bottom->addWidget(btnClose);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(8, 8, 8, 0);
    all->addWidget(grid);
    all->addLayout(bottom);
    all->addWidget(statusBar_);

    connect(btnReadRow, &QPushButton::clicked, this, [this] { ReadRow(); });
    connect(btnReadAll, &QPushButton::clicked, this, [this] { ReadAll(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { Clear(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    OpenAtGridSize();
    grid->setCurrentCell(0, 0);
}

TField* TfmTable::CellAt(int row, int column) const {
    return table_.Fields().Find(column + 1, row + 1);
}

QPoint TfmTable::PositionOf(const TField& cell) const {
    return {cell.FieldNumber - 1, cell.Row - 1};
}

void TfmTable::MakeRowCurrent(int row) {
    if (row != grid_->currentRow()) grid_->setCurrentCell(row, std::max(grid_->currentColumn(), 0));
}

void TfmTable::CurrentMoved(int, int column) {
    if (column < 0 || column >= table_.FieldDefs().Count()) return;
    statusBar_->showMessage(QString::fromStdString(table_.FieldDefs().Items(column).Hint()));
}

void TfmTable::ReadRow() {
    const int row = grid_->currentRow();
    if (row < 0) return;
    Run([&] {
        // Field by field: a field that fails is shown and the next one is read.
        for (int column = 0; column < table_.FieldCount; ++column)
            if (TField* cell = CellAt(row, column)) RunTableAction({}, [&] { ReadCell(*cell); });
    });
    grid_->EditCurrent();
}

void TfmTable::Clear() {
    if (!SettleEdit()) return;
    table_.Fields().ClearValues();
    ShowModelValues();
}
