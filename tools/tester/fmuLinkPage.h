#pragma once
// Page "Проверка связи": the exchange-parameters request called again and again in steps on the window's
// thread until "Прервать" (or, with "Остановка при ошибке", the first failure), with the calls, the
// failures, the calls per second, the failures' share, the time and the time a call takes.

#include "tools/tester/untLinkTest.h"
#include "tools/tester/untPages.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tessel::tst {

class TfmLinkPage final : public TPage {
  public:
    explicit TfmLinkPage(TPages& pages);

    // The button: starts the test, or stops it while it runs.
    void StartOrStop();
    const TLinkStats& Stats() const { return stats_; }

  protected:
    bool StepsRunning() const override { return steps_.Running(); }
    void StopSteps() override { steps_.Stop(); }

  private:
    // One call of the test, with the driver held; the first step of a run opens the port.
    bool Step(TDriver& driver);
    void ShowStats();

    TPageSteps steps_;
    TLinkStats stats_;
    std::uint32_t started_ = 0;
    bool stopOnError_ = false;
    bool opened_ = false;

    QPushButton* btnStart_;
    QCheckBox* chbStopOnError_;
    QLabel* lblCalls_;
    QLabel* lblFailures_;
    QLabel* lblRate_;
    QLabel* lblPercent_;
    QLabel* lblSeconds_;
    QLabel* lblMsPerCall_;
};

}  // namespace tessel::tst
