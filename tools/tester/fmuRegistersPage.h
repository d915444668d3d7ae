#pragma once
// Page "Значения регистров": the registers of the chosen kind read in order on the worker thread until the
// register has no more ("%.2d: %s" lines, "Прочитано: %d"). The button reads "Прервать" while the reading
// runs and stops it.

#include "tools/tester/untPages.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tessel::tst {

class TfmRegistersPage final : public TPage {
  public:
    explicit TfmRegistersPage(TPages& pages);

    // The button: starts the reading, or stops it while it runs.
    void StartOrStop();

  protected:
    void WorkProgress(const TWorkerEvent& event) override;
    void WorkFinished(const TWorkerEvent& event) override;

  private:
    QComboBox* cbKind_;
    QPushButton* btnRead_;
    QLabel* lblCount_;
    QPlainTextEdit* memRegisters_;
};

}  // namespace tessel::tst
