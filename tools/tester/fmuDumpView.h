#pragma once
// The dump viewer: the bytes in a grid of 17 columns (the row's offset, then 16 bytes "00".."0F"), and a
// toolbar that opens a file into the viewer, saves what it shows, and compares it with a file.

#include <QDialog>

#include "common/platform/Bytes.h"

class QAbstractTableModel;
class QTableView;

namespace tessel::tst {

class TDumpModel;

class TfmDumpView final : public QDialog {
  public:
    explicit TfmDumpView(Bytes data, QWidget* parent = nullptr);
    ~TfmDumpView() override;

    const Bytes& Data() const;
    QTableView& Grid() const { return *gridDump_; }

    // The toolbar's actions with a file dialog ("Открыть файл", "Сохранить файл", "Сравнить с файлом").
    void Open();
    void Save();
    void Compare();
    // The same for a given file. A failure is shown; OpenFile leaves the data as it was then. CompareFile
    // shows its outcome and returns its text.
    void OpenFile(const QString& fileName);
    void SaveFile(const QString& fileName);
    QString CompareFile(const QString& fileName);

  private:
    QString AskFile(const QString& title, bool save);
    void ShowError(const QString& text);

    TDumpModel* model_;
    QTableView* gridDump_;
};

}  // namespace tessel::tst
