#include "tools/tester/fmuReceiptsPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessel::tst {

namespace {

QLabel* Value(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("000000000.00"));
    return label;
}

}  // namespace

TfmReceiptsPage::TfmReceiptsPage(TPages& pages) : TAnsweringPage(pages, "Чеки") {
    setObjectName("TfmReceiptsPage");
    lblReceiptSum_ = Value(this, "lblReceiptSum");
    lblTotal_ = Value(this, "lblTotal");
    lblCount_ = Value(this, "lblCount");
    auto* btnReset = NewButton(this, "btnReset", "Сбросить");

    auto* values = new QGridLayout;
    values->setHorizontalSpacing(16);
    int row = 0;
    for (const auto& [caption, value] : {std::pair{"Сумма чека, руб.:", lblReceiptSum_},
                                         {"Общая сумма, руб.:", lblTotal_},
                                         {"Количество чеков:", lblCount_}}) {
        values->addWidget(new QLabel(caption, this), row, 0);
        values->addWidget(value, row++, 1);
    }
    values->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnReset);
    buttons->addStretch();
    auto* all = new QVBoxLayout(this);
    all->addLayout(values);
    all->addSpacing(8);
    all->addLayout(buttons);
    all->addWidget(FailureLine());
    all->addStretch();
    ShowTotals();

    connect(btnReset, &QPushButton::clicked, this, [this] { Reset(); });
}

void TfmReceiptsPage::ShowTotals() {
    lblReceiptSum_->setText(QString::fromStdString(RoublesText(receipts_.ReceiptSum())));
    lblTotal_->setText(QString::fromStdString(RoublesText(receipts_.Total())));
    lblCount_->setText(QString::number(receipts_.Count()));
}

void TfmReceiptsPage::Reset() {
    receipts_.Reset();
    ClearFailure();
    ShowTotals();
}

LONG TfmReceiptsPage::Answer(TDriver& driver, const TReceivedCommand& command) {
    return AnswerReceipt(driver, command, receipts_);
}

void TfmReceiptsPage::Answered() {
    ShowTotals();
}

}  // namespace tessel::tst
