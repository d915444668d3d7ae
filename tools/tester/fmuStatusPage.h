#pragma once
// Page "Состояние": the register's status ("ККМ": GetECRStatus and GetDeviceMetrics) or the fiscal
// memory's ("ФП": GetFMStatus), listed as "label : value" lines.

#include <QStringList>
#include <memory>

#include "tools/tester/untPages.h"

class QPlainTextEdit;
class QPushButton;

namespace tessel::tst {

class TfmStatusPage final : public TPage {
  public:
    explicit TfmStatusPage(TPages& pages);

    // "ККМ", "ФП": read on the worker thread, the buttons disabled meanwhile.
    void ReadEcrStatus();
    void ReadFMStatus();

  protected:
    void WorkFinished(const TWorkerEvent& event) override;

  private:
    void Read(bool fiscalMemory);

    QPushButton* btnEcr_;
    QPushButton* btnFM_;
    QPlainTextEdit* memInfo_;
    std::shared_ptr<QStringList> lines_;  // the job's lines, read once it has ended
};

}  // namespace tessel::tst
