#pragma once
// Page "Дамп": a memory of the register read block by block on the worker thread, whole or a range of
// blocks, with the count, the time and a progress bar; a failing block asks whether to go on. The dump is
// saved as raw bytes or shown in the viewer.

#include <QElapsedTimer>
#include <memory>

#include "common/platform/Bytes.h"
#include "tools/tester/untDump.h"
#include "tools/tester/untPages.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tessel::tst {

class TfmDumpPage final : public TPage {
  public:
    explicit TfmDumpPage(TPages& pages);

    // "Начать": asks the register for the memory's block count (once no worker has the driver) and starts
    // reading; "Прервать" while the reading runs stops it. A reading that fails on the way keeps the blocks
    // read, and the message says how many.
    void StartOrStop();
    // "Сохранить" with a file dialog, and the file itself for a given name.
    void Save();
    void SaveFile(const QString& fileName);
    // "Просмотр": the viewer with the dump.
    void View();

    const Bytes& Dump() const { return dump_; }

  protected:
    void WorkProgress(const TWorkerEvent& event) override;
    void WorkFinished(const TWorkerEvent& event) override;

  private:
    // The device code of the list's choice.
    int Device() const;
    // Starts the worker that reads `range` of `device`.
    void StartReading(int device, const TDumpRange& range);
    void ShowCounts(int read);

    QComboBox* cbDevice_;
    QRadioButton* rbWhole_;
    QRadioButton* rbRange_;
    QSpinBox* edStart_;
    QSpinBox* edEnd_;
    QPushButton* btnStart_;
    QPushButton* btnSave_;
    QPushButton* btnView_;
    QLabel* lblBlocks_;
    QLabel* lblElapsed_;
    QProgressBar* pbProgress_;

    bool starting_ = false;  // "Начать" waits for the driver to ask the block count
    TDumpRange range_;
    int read_ = 0;  // blocks read, as the last progress message said
    QElapsedTimer clock_;
    Bytes dump_;
    std::shared_ptr<Bytes> reading_;  // the job's dump, taken once it has ended
};

}  // namespace tessel::tst
