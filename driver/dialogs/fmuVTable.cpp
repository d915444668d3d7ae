#include "driver/dialogs/fmuVTable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

TfmVTable::TfmVTable(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table)
    : TTableEditor(parent, driver, ecr, table, TTableEditorKind::OneRow) {
    setObjectName("TfmVTable");
    const TTableEditForm& form = *form_;
    auto* grid = new TTableGrid(this);
    grid->setColumnCount(form.ColumnCount());
    QStringList titles;
    for (int c = 0; c < form.ColumnCount(); ++c) titles << QString::fromStdString(form.ColumnTitle(c));
    grid->setHorizontalHeaderLabels(titles);
    grid->verticalHeader()->hide();
    grid->setRowCount(form.RowCount());
    for (int r = 0; r < form.RowCount(); ++r) {
        for (int c = 0; c < form.ColumnCount(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(form.InitialText(r, c)));
            // Only the value can be chosen; the rest of the line is painted by the grid.
            if (!form.IsValueCell(r, c)) item->setFlags(Qt::NoItemFlags);
            grid->setItem(r, c, item);
        }
    }
    // Each column as wide as its widest text and two spaces.
    const QFontMetrics metrics = grid->fontMetrics();
    for (int c = 0; c < form.ColumnCount(); ++c) {
        int width = metrics.horizontalAdvance(grid->horizontalHeaderItem(c)->text() + "  ");
        for (int r = 0; r < grid->rowCount(); ++r)
            width = std::max(width, metrics.horizontalAdvance(grid->Text(r, c) + "  "));
        grid->setColumnWidth(c, width);
    }
    grid->SetLastColumnMinimum(grid->columnWidth(TTableEditForm::kValueColumn));
    grid->HighlightCurrentLine(TTableEditForm::kValueColumn);
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

    connect(btnReadAll, &QPushButton::clicked, this, [this] { form_->ReadAll(); });
    connect(btnReadField, &QPushButton::clicked, this, [this] { form_->ReadField(); });
    connect(btnWriteField, &QPushButton::clicked, this, [this] { form_->WriteField(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    OpenAtGridSize();
    if (grid->rowCount() > 0) grid->setCurrentCell(form.StartRow(), form.StartColumn());
}
