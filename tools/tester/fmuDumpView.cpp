#include "tools/tester/fmuDumpView.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include "common/qt/ProgramWindows.h"
#include "common/qt/QtText.h"
#include "tools/tester/Driver.h"
#include "tools/tester/untDump.h"

namespace tessel::tst {

namespace {

constexpr char kFilter[] = "Файлы дампов (*.dmp)|*.dmp|Все файлы (*.*)|*.*";

}  // namespace

// The bytes as rows of 16, read from the data as the grid asks, so that a large file costs no more than
// the rows in sight.
class TDumpModel final : public QAbstractTableModel {
  public:
    explicit TDumpModel(Bytes data, QObject* parent) : QAbstractTableModel(parent), data_(std::move(data)) {}

    const Bytes& Data() const { return data_; }
    void SetData(Bytes data) {
        beginResetModel();
        data_ = std::move(data);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : DumpRowCount(data_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kDumpRowBytes + 1;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        if (role != Qt::DisplayRole) return {};
        if (index.column() == 0) return QString::fromStdString(DumpOffsetText(index.row()));
        return QString::fromStdString(DumpByteText(data_, index.row(), index.column() - 1));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        if (section == 0) return QString();
        return QString("%1").arg(section - 1, 2, 16, QChar('0')).toUpper();
    }

  private:
    Bytes data_;
};

TfmDumpView::TfmDumpView(Bytes data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint) {
    setObjectName("TfmDumpView");
    setWindowTitle("Просмотр дампа");
    model_ = new TDumpModel(std::move(data), this);

    auto* tools = new QToolBar(this);
    tools->setObjectName("tbTools");
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* open = tools->addAction("Открыть файл", this, [this] { Open(); });
    open->setObjectName("actOpen");
    QAction* save = tools->addAction("Сохранить файл", this, [this] { Save(); });
    save->setObjectName("actSave");
    QAction* compare = tools->addAction("Сравнить с файлом", this, [this] { Compare(); });
    compare->setObjectName("actCompare");

    gridDump_ = new QTableView(this);
    gridDump_->setObjectName("gridDump");
    gridDump_->setModel(model_);
    gridDump_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    gridDump_->verticalHeader()->hide();
    gridDump_->verticalHeader()->setDefaultSectionSize(gridDump_->fontMetrics().height() + 6);
    gridDump_->setSelectionMode(QAbstractItemView::SingleSelection);
    const int cell = gridDump_->fontMetrics().horizontalAdvance("00") + 14;
    gridDump_->setColumnWidth(0, gridDump_->fontMetrics().horizontalAdvance("000000") + 16);
    for (int column = 1; column <= kDumpRowBytes; ++column) gridDump_->setColumnWidth(column, cell);

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(4, 4, 4, 4);
    all->addWidget(tools);
    all->addWidget(gridDump_, 1);
    int width = 0;
    for (int column = 0; column <= kDumpRowBytes; ++column) width += gridDump_->columnWidth(column);
    resize(width + gridDump_->verticalScrollBar()->sizeHint().width() + 16, 420);
}

TfmDumpView::~TfmDumpView() = default;

const Bytes& TfmDumpView::Data() const {
    return model_->Data();
}

void TfmDumpView::ShowError(const QString& text) {
    tessel::qt::ShowErrorBox(this, windowTitle(), text);
}

QString TfmDumpView::AskFile(const QString& title, bool save) {
    QFileDialog dialog(this, title, QString(), tessel::qt::FileDialogFilter(kFilter));
    dialog.setObjectName("dlgFile");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog.setDefaultSuffix("dmp");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void TfmDumpView::Open() {
    const QString name = AskFile("Открыть файл", false);
    if (!name.isEmpty()) OpenFile(name);
}

void TfmDumpView::Save() {
    const QString name = AskFile("Сохранить файл", true);
    if (!name.isEmpty()) SaveFile(name);
}

void TfmDumpView::Compare() {
    const QString name = AskFile("Сравнить с файлом", false);
    if (!name.isEmpty()) CompareFile(name);
}

void TfmDumpView::OpenFile(const QString& fileName) {
    try {
        model_->SetData(LoadDumpFile(fileName.toStdString()));
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
}

void TfmDumpView::SaveFile(const QString& fileName) {
    try {
        SaveDumpFile(fileName.toStdString(), model_->Data());
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
}

QString TfmDumpView::CompareFile(const QString& fileName) {
    try {
        const TDumpCompare result = CompareDumpFile(model_->Data(), fileName.toStdString());
        const QString text = CompareText(result);
        if (result == TDumpCompare::SizeDiffers)
            ShowError(text);
        else
            QMessageBox::information(this, windowTitle(), text);
        return text;
    } catch (const std::exception& e) {
        const QString text = QString::fromStdString(e.what());
        ShowError(text);
        return text;
    }
}

}  // namespace tessel::tst
