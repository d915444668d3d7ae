#pragma once
// Page "Регистры остатков": rest registers read into text lines ("%.4d: %s", the value in thousandths as a
// decimal) over all registers or a range, and written back from the lines; the lines loaded from and saved
// to text files. Reading and writing run in steps on the window's thread, one register a step (each waiting
// for its turn while a worker has the driver), and stop at the first failure or on "Прервать".

#include <vector>

#include "tools/tester/untPages.h"
#include "tools/tester/untReg.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tessel::tst {

class TfmRestPage final : public TPage {
  public:
    static constexpr int kProgressMaximum = 1000;

    explicit TfmRestPage(TPages& pages);

    // "Прочитать" / "Записать": start, or stop while running.
    void ReadOrStop();
    void WriteOrStop();
    // "Загрузить..." / "Сохранить..." with a file dialog; the file functions for a given name.
    void Load();
    void Save();
    void LoadFile(const QString& fileName);
    void SaveFile(const QString& fileName);
    // "Очистить".
    void Clear();

  protected:
    bool StepsRunning() const override { return steps_.Running(); }
    void StopSteps() override { steps_.Stop(); }

  private:
    // Each with the driver held; the first of a run opens the port.
    bool Opened(TDriver& driver);
    bool ReadStep(TDriver& driver);
    bool WriteStep(TDriver& driver);
    void Started(QPushButton* button);
    void Finished(const std::exception_ptr& error);

    TPageSteps steps_;
    // The reading: the next register, the last one (-1: until the register has no more), how many read.
    int next_ = 0;
    int last_ = -1;
    int count_ = 0;
    // The writing: what the lines ask, and the next of them.
    std::vector<TRestWrite> writes_;
    std::size_t written_ = 0;
    bool opened_ = false;  // the port was opened by this run's first step

    QRadioButton* rbAll_;
    QRadioButton* rbRange_;
    QSpinBox* edFrom_;
    QSpinBox* edTo_;
    QPushButton* btnRead_;
    QPushButton* btnWrite_;
    QPushButton* btnLoad_;
    QPushButton* btnSave_;
    QPushButton* btnClear_;
    QProgressBar* pbProgress_;
    QPlainTextEdit* memLines_;
};

}  // namespace tessel::tst
