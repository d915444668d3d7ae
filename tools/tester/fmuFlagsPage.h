#pragma once
// Page "Флаги ККМ": the names of the 16 bits of the register's flag word and whether each is set, as
// "[X] name" lines, read on the worker thread.

#include <QStringList>
#include <memory>

#include "tools/tester/untPages.h"

class QPlainTextEdit;
class QPushButton;

namespace tessel::tst {

class TfmFlagsPage final : public TPage {
  public:
    static constexpr int kFlagCount = 16;

    explicit TfmFlagsPage(TPages& pages);

    // "Прочитать".
    void Read();

  protected:
    void WorkFinished(const TWorkerEvent& event) override;

  private:
    QPushButton* btnRead_;
    QPlainTextEdit* memFlags_;
    std::shared_ptr<QStringList> lines_;  // the job's lines, read once it has ended
};

}  // namespace tessel::tst
