#pragma once
// Page "Чеки": while it is the visible page, the register's requests are answered and its receipts counted:
// the open receipt's sum, the total of the receipts closed and their count.

#include "tools/tester/untAnswer.h"
#include "tools/tester/untPages.h"

class QLabel;

namespace tessel::tst {

class TfmReceiptsPage final : public TAnsweringPage {
  public:
    explicit TfmReceiptsPage(TPages& pages);

    // "Сбросить": the totals and the line of a failed answer.
    void Reset();

    const TReceipts& Receipts() const { return receipts_; }

  protected:
    // Answers the command and counts it in the receipts once its answer went out.
    LONG Answer(TDriver& driver, const TReceivedCommand& command) override;
    void Answered() override;

  private:
    void ShowTotals();

    TReceipts receipts_;
    QLabel* lblReceiptSum_;
    QLabel* lblTotal_;
    QLabel* lblCount_;
};

}  // namespace tessel::tst
