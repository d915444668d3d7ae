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
    : TTableEditor(parent, driver, ecr, table, TTableEditorKind::Grid) {
    setObjectName("TfmTable");
    const TTableEditForm& form = *form_;
    auto* grid = new TTableGrid(this);
    grid->setRowCount(form.RowCount());
    grid->setColumnCount(form.ColumnCount());
    QStringList rows;
    for (const std::string& title : form.RowTitles()) rows << QString::fromStdString(title);
    grid->setVerticalHeaderLabels(rows);
    grid->verticalHeader()->setFixedWidth(kRowColumnWidth);
    grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->SetCornerText(QString::fromStdString(form.CornerTitle()));
    const QFontMetrics metrics = grid->fontMetrics();
    int lastWidth = 0;
    for (int c = 0; c < form.ColumnCount(); ++c) {
        grid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromStdString(form.ColumnTitle(c))));
        lastWidth = metrics.horizontalAdvance(QString(form.ColumnChars(c), QChar(0x0428))) + 10;  // "Ш"
        grid->setColumnWidth(c, lastWidth);
    }
    for (int r = 0; r < form.RowCount(); ++r)
        for (int c = 0; c < form.ColumnCount(); ++c)
            grid->setItem(r, c, new QTableWidgetItem(QString::fromStdString(form.InitialText(r, c))));
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

    connect(btnReadRow, &QPushButton::clicked, this, [this] { form_->ReadRow(); });
    connect(btnReadAll, &QPushButton::clicked, this, [this] { form_->ReadAll(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { form_->Clear(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    OpenAtGridSize();
    grid->setCurrentCell(form.StartRow(), form.StartColumn());
}
