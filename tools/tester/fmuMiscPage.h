#pragma once
// Page "Дополнительно": the register's date and time written from the pickers, its tables initialised (with a
// long time-out, the old one restored), and its date and time set from the computer's clock. Each action
// opens the port first and runs on the worker thread; the four buttons are disabled while one runs.

#include "tools/tester/untPages.h"

class QDateEdit;
class QPushButton;
class QTimeEdit;

namespace tessel::tst {

class TfmMiscPage final : public TPage {
  public:
    // How long the table initialisation may take.
    static constexpr LONG kInitTablesTimeout = 30000;

    explicit TfmMiscPage(TPages& pages);

    void WriteDate();
    void WriteTime();
    void InitTables();
    void SetComputerTime();

  protected:
    void WorkFinished(const TWorkerEvent& event) override;

  private:
    void Run(const std::function<void(TDriver&)>& action);
    void EnableButtons(bool on);

    QDateEdit* dtpDate_;
    QTimeEdit* dtpTime_;
    QPushButton* btnWriteDate_;
    QPushButton* btnWriteTime_;
    QPushButton* btnInitTables_;
    QPushButton* btnComputerTime_;
};

}  // namespace tessel::tst
