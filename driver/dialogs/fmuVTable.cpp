#include "driver/dialogs/fmuVTable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QTableWidgetItem* FixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    // Only the value can be chosen; the rest of the line is painted by the grid.
    item->setFlags(Qt::NoItemFlags);
    return item;
}

}  // namespace

TfmVTable::TfmVTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table)
    : TTableEditor(parent, driver, ecr, table) {
    setObjectName("TfmVTable");
    auto* grid = new TTableGrid(this);
    grid->setColumnCount(kColumnCount);
    grid->setHorizontalHeaderLabels({"Ряд", "Поле", "Название", "Тип", "Мин.", "Макс.", "Значение"});
    grid->verticalHeader()->hide();
    const TFields& cells = table.Fields();
    grid->setRowCount(cells.Count());
    for (int k = 0; k < cells.Count(); ++k) {
        const TField& cell = cells.Items(k);
        const TFieldDef& def = table.FieldDefOf(cell);
        const QString texts[kValueColumn] = {
            QString::number(cell.Row),        QString::number(cell.FieldNumber),
            QString::fromStdString(def.Name), QString::fromStdString(FieldTypeName(def.FieldType)),
            QString::number(def.ShownMin()),  QString::number(def.ShownMax())};
        for (int c = 0; c < kValueColumn; ++c) grid->setItem(k, c, FixedItem(texts[c]));
        grid->setItem(k, kValueColumn, new QTableWidgetItem(QString::fromStdString(cell.Value())));
    }
    // Each column as wide as its widest text and two spaces.
    const QFontMetrics metrics = grid->fontMetrics();
    for (int c = 0; c < kColumnCount; ++c) {
        int width = metrics.horizontalAdvance(grid->horizontalHeaderItem(c)->text() + "  ");
        for (int r = 0; r < grid->rowCount(); ++r)
            width = std::max(width, metrics.horizontalAdvance(grid->Text(r, c) + "  "));
        grid->setColumnWidth(c, width);
    }
    grid->SetLastColumnMinimum(grid->columnWidth(kValueColumn));
    grid->HighlightCurrentLine(kValueColumn);
    BindGrid(grid);

    QPushButton* btnReadAll = NewButton(this, "btnReadAll", "Прочитать все");
    QPushButton* btnReadField = NewButton(this, "btnReadField", "Прочитать поле");
    QPushButton* btnWriteField = NewButton(this, "btnWriteField", "Записать поле");
    QPushButton* btnClose = NewButton(this, "btnClose", "Закрыть");
    buttons_ = {btnReadAll, btnReadField, btnWriteField, btnClose};

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnReadAll);
    bottom->addWidget(btnReadField);
    bottom->addWidget(btnWriteField);
    bottom->addStretch();
    bottom->addWidget(btnClose);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(8, 8, 8, 8);
    all->addWidget(grid);
    all->addLayout(bottom);

    connect(btnReadAll, &QPushButton::clicked, this, [this] { ReadAll(); });
    connect(btnReadField, &QPushButton::clicked, this, [this] { ReadField(); });
    connect(btnWriteField, &QPushButton::clicked, this, [this] { WriteField(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    OpenAtGridSize();
    if (grid->rowCount() > 0) grid->setCurrentCell(0, kValueColumn);
}

TField* TfmVTable::CellAt(int row, int column) const {
    if (column != kValueColumn || row < 0 || row >= table_.Fields().Count()) return nullptr;
    return &table_.Fields().Items(row);
}

QPoint TfmVTable::PositionOf(const TField& cell) const {
    return {kValueColumn, (cell.Row - 1) * table_.FieldCount + cell.FieldNumber - 1};
}

void TfmVTable::MakeRowCurrent(int row) {
    if (row != grid_->currentRow()) grid_->setCurrentCell(row, kValueColumn);
}

void TfmVTable::ReadField() {
    TField* cell = CellAt(grid_->currentRow(), kValueColumn);
    if (cell == nullptr) return;
    Run([&] { ReadCell(*cell); });
    grid_->EditCurrent();
}

void TfmVTable::WriteField() {
    Commit(grid_->currentRow(), kValueColumn);
}
