#include "driver/dialogs/fmuTableGrid.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QThread>
#include <algorithm>

#include "driver/base/untError.h"

namespace {

// Rows an editor shows when it opens, at most.
constexpr int kOpeningRows = 15;

// The text of a failure, with the model's CR LF line breaks as the message box shows them.
QString ErrorText(const std::exception& error) {
    return QString::fromStdString(error.what()).replace("\r\n", "\n");
}

}  // namespace

bool RunTableAction(const QList<QWidget*>& buttons, const std::function<void()>& action) {
    for (QWidget* b : buttons) b->setEnabled(false);
    bool ok = false;
    try {
        action();
        ok = true;
    } catch (const EDriverError& e) {
        if (e.ErrorCode() != E_USERBREAK) TMyForm::ShowError(ErrorText(e));
    } catch (const std::exception& e) {
        TMyForm::ShowError(ErrorText(e));
    } catch (...) {
        TMyForm::ShowError(QString("Неизвестная ошибка"));
    }
    for (QWidget* b : buttons) b->setEnabled(true);
    return ok;
}

// ---- TTableGrid ----

// Keeps track of the open editor, takes Enter before the item view does (it would close the editor), and
// paints the one-row editor's lines.
class TTableGrid::TDelegate final : public QStyledItemDelegate {
  public:
    explicit TDelegate(TTableGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        grid_.editor_ = qobject_cast<QLineEdit*>(editor);
        grid_.editorIndex_ = index;
        return editor;
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor == grid_.editor_) grid_.editor_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && watched == grid_.editor_) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                // The text goes into the grid now; the commit runs from the event loop, so that the editor
                // is never freed under its own key event (a message box takes its focus and closes it).
                setModelData(grid_.editor_, grid_.model(), grid_.editorIndex_);
                const int row = grid_.editorIndex_.row();
                const int column = grid_.editorIndex_.column();
                QMetaObject::invokeMethod(
                    &grid_,
                    [grid = &grid_, row, column] {
                        if (grid->onEnter) grid->onEnter(row, column);
                    },
                    Qt::QueuedConnection);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(watched, event);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (grid_.valueColumn_ < 0 || index.column() == grid_.valueColumn_) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const bool current = index.row() == grid_.currentIndex().row();
        const QPalette& palette = grid_.palette();
        painter->save();
        painter->fillRect(option.rect,
                          current ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
        painter->setPen(current ? palette.color(QPalette::Base) : QColor(Qt::black));
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

  private:
    TTableGrid& grid_;
};

TTableGrid::TTableGrid(QWidget* parent) : QTableWidget(parent) {
    setObjectName("Grid");
    setItemDelegate(new TDelegate(*this));
    // The current cell always shows its editor: editing starts whenever it moves.
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setHighlightSections(false);
    // One line of text with a little room: the height of "A" plus 5 pixels.
    const int rowHeight = fontMetrics().height() + 5;
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(rowHeight + 2);
}

QString TTableGrid::Text(int row, int column) const {
    // An open editor shows what the cell holds for the user.
    if (editor_ && editorIndex_.row() == row && editorIndex_.column() == column) return editor_->text();
    const QTableWidgetItem* it = item(row, column);
    return it != nullptr ? it->text() : QString();
}

void TTableGrid::SetText(int row, int column, const QString& text) {
    QTableWidgetItem* it = item(row, column);
    if (it == nullptr) {
        it = new QTableWidgetItem;
        setItem(row, column, it);
    }
    it->setText(text);
    if (editor_ && editorIndex_.row() == row && editorIndex_.column() == column) editor_->setText(text);
}

void TTableGrid::EditCurrent() {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !(index.flags() & Qt::ItemIsEditable)) return;
    if (editor_ && editorIndex_ == index) return;
    edit(index);
}

void TTableGrid::SetLastColumnMinimum(int width) {
    lastMinimum_ = width;
    FitLastColumn();
}

void TTableGrid::HighlightCurrentLine(int valueColumn) {
    valueColumn_ = valueColumn;
    viewport()->update();
}

void TTableGrid::SetCornerText(const QString& text) {
    cornerText_ = text;
    if (auto* corner = findChild<QAbstractButton*>()) {
        corner->installEventFilter(this);
        corner->update();
    }
}

void TTableGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // Commits the editor of the cell left into the grid, then opens the new cell's editor.
    QTableWidget::currentChanged(current, previous);
    if (valueColumn_ >= 0) viewport()->update();
    const int row = current.row();
    const int column = current.column();
    const int previousRow = previous.isValid() ? previous.row() : -1;
    const int previousColumn = previous.isValid() ? previous.column() : -1;
    // From the event loop, for the same reason as Enter: the commit may open a message box.
    QMetaObject::invokeMethod(
        this,
        [this, row, column, previousRow, previousColumn] {
            if (onCurrentMoved) onCurrentMoved(row, column, previousRow, previousColumn);
        },
        Qt::QueuedConnection);
}

void TTableGrid::keyPressEvent(QKeyEvent* event) {
    const QModelIndex index = currentIndex();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && index.isValid() && onEnter) {
        onEnter(index.row(), index.column());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool TTableGrid::viewportEvent(QEvent* event) {
    const bool handled = QTableWidget::viewportEvent(event);
    if (event->type() == QEvent::Resize) FitLastColumn();
    return handled;
}

bool TTableGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && !cornerText_.isEmpty() &&
        watched == findChild<QAbstractButton*>()) {
        auto* corner = static_cast<QWidget*>(watched);
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.rect = corner->rect();
        option.text = cornerText_;
        option.textAlignment = Qt::AlignCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        QStylePainter painter(corner);
        painter.drawControl(QStyle::CE_Header, option);
        return true;
    }
    return QTableWidget::eventFilter(watched, event);
}

void TTableGrid::FitLastColumn() {
    const int last = columnCount() - 1;
    if (last < 0) return;
    int others = 0;
    for (int c = 0; c < last; ++c) others += columnWidth(c);
    // When the other columns are already wider than the grid, the last keeps the width its text needs.
    setColumnWidth(last, std::max(viewport()->width() - others, lastMinimum_));
}

// ---- TTableEditor ----

TTableEditor::TTableEditor(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table)
    : TMyForm(parent), driver_(driver), ecr_(ecr), table_(table) {
    setWindowTitle(QString::fromStdString(table.Name));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    // The model changes on the engine's worker while "Прочитать все" runs: what the grid needs is copied
    // there and shown on this window's thread.
    table_.OnChange = [this](TTable& changed) {
        const TField* cell = changed.ChangedField();
        if (cell == nullptr) return;
        const std::int32_t row = cell->Row;
        const std::int32_t field = cell->FieldNumber;
        const QString value = QString::fromStdString(cell->Value());
        if (QThread::currentThread() == thread()) {
            Changed(row, field, value);
        } else {
            QMetaObject::invokeMethod(
                this, [this, row, field, value] { Changed(row, field, value); }, Qt::QueuedConnection);
        }
    };
}

TTableEditor::~TTableEditor() {
    table_.OnChange = nullptr;
}

void TTableEditor::BindGrid(TTableGrid* grid) {
    grid_ = grid;
    grid_->onEnter = [this](int row, int column) { Commit(row, column); };
    grid_->onCurrentMoved = [this](int row, int column, int previousRow, int previousColumn) {
        if (!reading_ && previousRow >= 0) {
            const TField* left = CellAt(previousRow, previousColumn);
            if (left != nullptr && grid_->Text(previousRow, previousColumn).toStdString() != left->Value())
                Commit(previousRow, previousColumn);
        }
        CurrentMoved(row, column);
    };
}

void TTableEditor::OpenAtGridSize() {
    int width = (grid_->verticalHeader()->isHidden() ? 0 : grid_->verticalHeader()->width()) +
                2 * grid_->frameWidth() + 2;
    for (int c = 0; c < grid_->columnCount(); ++c) width += grid_->columnWidth(c);
    const int shown = std::min(grid_->rowCount(), kOpeningRows);
    int height = grid_->horizontalHeader()->height() + shown * grid_->verticalHeader()->defaultSectionSize() +
                 2 * grid_->frameWidth() + 2;
    if (shown < grid_->rowCount()) width += grid_->verticalScrollBar()->sizeHint().width();
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        width = std::min(width, s->availableGeometry().width() * 9 / 10);
        height = std::min(height, s->availableGeometry().height() * 6 / 10);
    }
    grid_->setMinimumSize(width, height);
    // Opens at that size, not at the grid's own preference.
    resize(minimumSizeHint());
}

void TTableEditor::showEvent(QShowEvent* event) {
    TMyForm::showEvent(event);
    if (!sized_) {
        // Sizeable, never smaller than it opens.
        sized_ = true;
        setMinimumSize(size());
        grid_->setMinimumSize(0, 0);
    }
    grid_->setFocus();
    grid_->EditCurrent();
}

void TTableEditor::Changed(std::int32_t row, std::int32_t field, const QString& value) {
    const TField* cell = table_.Fields().Find(field, row);
    if (cell == nullptr) return;
    const QPoint at = PositionOf(*cell);
    grid_->SetText(at.y(), at.x(), value);
    // The cell being committed stays where the user moved to.
    if (!committing_) MakeRowCurrent(at.y());
}

void TTableEditor::CommitCell(TField& cell, const std::string& text) {
    const std::string before = cell.Value();
    table_.SetCellText(cell, text);
    try {
        driver_.Put(&ITesselDriver::put_TableNumber, table_.Number);
        driver_.Put(&ITesselDriver::put_RowNumber, cell.Row);
        driver_.Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
        driver_.Put(&ITesselDriver::put_FieldValue, text);
        driver_.Put(&ITesselDriver::put_FieldType, table_.FieldDefOf(cell).FieldType);
        driver_.Check(&ITesselDriver::WriteTable);
    } catch (...) {
        // The model holds what the register holds.
        cell.SetValue(before);
        throw;
    }
}

bool TTableEditor::Commit(int row, int column) {
    TField* cell = CellAt(row, column);
    if (cell == nullptr) return true;
    const std::string text = grid_->Text(row, column).toStdString();
    committing_ = true;
    const bool ok = Run([&] { CommitCell(*cell, text); });
    committing_ = false;
    if (!ok) grid_->SetText(row, column, QString::fromStdString(cell->Value()));
    // A message box took the editor's focus and closed it.
    if (isVisible()) grid_->EditCurrent();
    return ok;
}

bool TTableEditor::SettleEdit() {
    const int row = grid_->currentRow();
    const int column = grid_->currentColumn();
    const TField* cell = CellAt(row, column);
    if (cell == nullptr || grid_->Text(row, column).toStdString() == cell->Value()) return true;
    QMessageBox question(QMessageBox::Warning, kDriverCaption,
                         QString("Поле \"%1\" (ряд %2) изменено.\nЗаписать новое значение ?")
                             .arg(QString::fromStdString(table_.FieldDefOf(*cell).Name))
                             .arg(cell->Row),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    question.setDefaultButton(QMessageBox::Yes);
    question.button(QMessageBox::Yes)->setText("Да");
    question.button(QMessageBox::No)->setText("Нет");
    question.button(QMessageBox::Cancel)->setText("Отмена");
    const int answer = question.exec();
    if (answer == QMessageBox::Yes) return Commit(row, column);
    if (answer == QMessageBox::No) grid_->SetText(row, column, QString::fromStdString(cell->Value()));
    // The question took the editor's focus and closed it.
    if (isVisible()) grid_->EditCurrent();
    return answer == QMessageBox::No;
}

void TTableEditor::reject() {
    if (SettleEdit()) TMyForm::reject();
}

void TTableEditor::ReadCell(TField& cell) {
    driver_.Put(&ITesselDriver::put_TableNumber, table_.Number);
    driver_.Put(&ITesselDriver::put_RowNumber, cell.Row);
    driver_.Put(&ITesselDriver::put_FieldNumber, cell.FieldNumber);
    driver_.Check(&ITesselDriver::ReadTable);
    const std::string value = driver_.Get(&ITesselDriver::get_FieldValue);
    cell.SetValue(value);
    // Also when the model had that value: the grid may show an edited text.
    const QPoint at = PositionOf(cell);
    grid_->SetText(at.y(), at.x(), QString::fromStdString(value));
}

void TTableEditor::ReadAll() {
    if (!SettleEdit()) return;
    Run([this] {
        reading_ = true;
        struct TDone {
            TTableEditor& editor;
            ~TDone() {
                // The changes still on their way, then the model as it now stands.
                QCoreApplication::sendPostedEvents(&editor, QEvent::MetaCall);
                QCoreApplication::sendPostedEvents(editor.grid_, QEvent::MetaCall);
                editor.ShowModelValues();
                editor.reading_ = false;
            }
        } done{*this};
        ecr_.ReadTableData(table_);
    });
    if (isVisible()) grid_->EditCurrent();
}

void TTableEditor::ShowModelValues() {
    const TFields& cells = table_.Fields();
    for (int k = 0; k < cells.Count(); ++k) {
        const TField& cell = cells.Items(k);
        const QPoint at = PositionOf(cell);
        grid_->SetText(at.y(), at.x(), QString::fromStdString(cell.Value()));
    }
}

bool TTableEditor::Run(const std::function<void()>& action) {
    return RunTableAction(buttons_, action);
}
