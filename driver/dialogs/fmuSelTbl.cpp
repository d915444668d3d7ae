#include "driver/dialogs/fmuSelTbl.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TfmSelTbl::TfmSelTbl(QWidget* parent, TTables& tables) : TMyForm(parent), form_(tables, *this) {
    setObjectName("TfmSelTbl");
    setWindowTitle("Выбор таблиц");
    listView_ = new QTreeWidget(this);
    listView_->setObjectName("ListView");
    listView_->setColumnCount(1);
    listView_->setHeaderLabels({"Название"});
    listView_->setRootIsDecorated(false);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    form_.Fill();
    if (listView_->topLevelItemCount() > 0) listView_->setCurrentItem(listView_->topLevelItem(0));
    listView_->setMinimumSize(listView_->fontMetrics().averageCharWidth() * 40,
                              listView_->fontMetrics().height() * 14);

    QPushButton* btnOK = NewButton(this, "btnOK", "OK");
    btnOK->setDefault(true);
    QPushButton* btnCancel = NewButton(this, "btnCancel", "Отмена");
    QPushButton* btnSelAll = NewButton(this, "btnSelAll", "Выбрать");
    QPushButton* btnClearAll = NewButton(this, "btnClearAll", "Сбросить");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addSpacing(12);
    buttons->addWidget(btnSelAll);
    buttons->addWidget(btnClearAll);
    buttons->addStretch();
    auto* all = new QGridLayout(this);
    all->setContentsMargins(12, 12, 12, 12);
    all->addWidget(listView_, 0, 0);
    all->addLayout(buttons, 0, 1);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnSelAll, &QPushButton::clicked, this, [this] { form_.CheckAll(true); });
    connect(btnClearAll, &QPushButton::clicked, this, [this] { form_.CheckAll(false); });
    FixSize();
}

void TfmSelTbl::AddRow(const std::string& name, bool checked) {
    auto* row = new QTreeWidgetItem(listView_, {QString::fromStdString(name)});
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void TfmSelTbl::SetChecked(int row, bool checked) {
    if (QTreeWidgetItem* item = listView_->topLevelItem(row))
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

bool TfmSelTbl::Checked(int row) const {
    const QTreeWidgetItem* item = listView_->topLevelItem(row);
    return item != nullptr && item->checkState(0) == Qt::Checked;
}

bool TfmSelTbl::Choose() {
    if (exec() != QDialog::Accepted) return false;
    form_.Accept();
    return true;
}
