#include "driver/dialogs/fmuSrDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The small glyph buttons beside a list; their hints say what they do.
QPushButton* GlyphButton(QWidget* parent, const QString& name, const char* glyph, const char* hint) {
    QPushButton* button = NewButton(parent, name.toUtf8().constData(), glyph);
    button->setToolTip(hint);
    button->setFixedWidth(button->sizeHint().height() + 6);
    return button;
}

}  // namespace

TfmSearchParams::TfmSearchParams(QWidget* parent) : TMyForm(parent) {
    setObjectName("TfmSearchParams");
    setWindowTitle("Свойства поиска");
    struct TColumn {
        TSearchList list;
        const char* name;
        const char* caption;
        QListWidget** box;
    };
    const TColumn columns[] = {
        {TSearchList::Ports, "lbPorts", "Порты:", &lbPorts_},
        {TSearchList::BaudRates, "lbBaudRates", "Скорости", &lbBaudRates_},
        {TSearchList::ECRTypes, "lbECRTypes", "Типы ККМ:", &lbECRTypes_},
    };
    auto* lists = new QGridLayout;
    lists->setHorizontalSpacing(6);
    int column = 0;
    for (const TColumn& c : columns) {
        auto* box = new QListWidget(this);
        box->setObjectName(c.name);
        *c.box = box;
        auto* label = new QLabel(c.caption, this);
        label->setBuddy(box);
        const QString base = QString(c.name).mid(2);  // "Ports", "BaudRates", "ECRTypes"
        QPushButton* all = GlyphButton(this, "btn" + base + "All", "✓", "Выбрать все");
        QPushButton* none = GlyphButton(this, "btn" + base + "None", "✗", "Сбросить все");
        const TSearchList list = c.list;
        connect(all, &QPushButton::clicked, this, [this, list] { form_.CheckAll(list, true); });
        connect(none, &QPushButton::clicked, this, [this, list] { form_.CheckAll(list, false); });
        auto* glyphs = new QVBoxLayout;
        glyphs->addWidget(all);
        glyphs->addWidget(none);
        glyphs->addStretch();
        lists->addWidget(label, 0, column, 1, 2);
        lists->addWidget(box, 1, column);
        lists->addLayout(glyphs, 1, column + 1);
        column += 3;
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance("Бензиновые ККМ") + 48);
        box->setMinimumHeight(box->fontMetrics().height() * 12);
    }

    // Room between one list's glyphs and the next list.
    lists->setColumnMinimumWidth(2, 12);
    lists->setColumnMinimumWidth(5, 12);

    QPushButton* btnSetDefaults = NewButton(this, "btnSetDefaults", "По умолчанию");
    btnSetDefaults->setMinimumWidth(btnSetDefaults->sizeHint().width() + 16);
    QPushButton* btnOK = NewButton(this, "btnOK", "OK");
    btnOK->setDefault(true);
    QPushButton* btnCancel = NewButton(this, "btnCancel", "Отмена");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnSetDefaults);
    bottom->addStretch();
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(12, 12, 12, 12);
    all->addLayout(lists);
    all->addSpacing(6);
    all->addLayout(bottom);

    connect(btnSetDefaults, &QPushButton::clicked, this, [this] { form_.SetDefaults(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    form_.Show(TSearchParams());
    FixSize();
}

QListWidget* TfmSearchParams::ListOf(TSearchList list) const {
    switch (list) {
        case TSearchList::Ports:
            return lbPorts_;
        case TSearchList::BaudRates:
            return lbBaudRates_;
        case TSearchList::ECRTypes:
            return lbECRTypes_;
    }
    return nullptr;
}

void TfmSearchParams::SetBusy(bool) {
    // Nothing here runs long enough to hold the buttons.
}

void TfmSearchParams::ShowError(const std::string& text) {
    TMyForm::ShowError(QString::fromStdString(text));
}

void TfmSearchParams::ShowList(TSearchList list, const std::vector<TSearchItem>& items) {
    QListWidget* box = ListOf(list);
    const int current = std::max(box->currentRow(), 0);
    box->clear();
    for (const TSearchItem& item : items) {
        auto* row = new QListWidgetItem(QString::fromStdString(item.Text), box);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(item.Checked ? Qt::Checked : Qt::Unchecked);
    }
    box->setCurrentRow(std::min(current, box->count() - 1));
}

std::vector<bool> TfmSearchParams::Checks(TSearchList list) const {
    const QListWidget* box = ListOf(list);
    std::vector<bool> checks;
    for (int i = 0; i < box->count(); ++i) checks.push_back(box->item(i)->checkState() == Qt::Checked);
    return checks;
}

bool TfmSearchParams::Edit(TSearchParams& params) {
    form_.Show(params);
    if (exec() != QDialog::Accepted) return false;
    form_.Accept(params);
    return true;
}
