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
#include <QStatusBar>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QThread>
#include <algorithm>

namespace {

// Rows an editor shows when it opens, at most.
constexpr int kOpeningRows = 15;

}  // namespace

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

TTableEditor::TTableEditor(QWidget* parent, const TDriverCalls& driver, TECR& ecr, TTable& table,
                           TTableEditorKind kind)
    : TMyForm(parent), form_(std::make_unique<TTableEditForm>(driver, *this, ecr, table, kind)) {
    setWindowTitle(QString::fromStdString(form_->Caption()));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
}

TTableEditor::~TTableEditor() = default;

void TTableEditor::BindGrid(TTableGrid* grid) {
    grid_ = grid;
    grid_->onEnter = [this](int row, int column) { form_->Commit(row, column); };
    grid_->onCurrentMoved = [this](int row, int column, int previousRow, int previousColumn) {
        form_->CurrentMoved(row, column, previousRow, previousColumn);
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

void TTableEditor::reject() {
    if (form_->Close()) TMyForm::reject();
}

void TTableEditor::SetBusy(bool busy) {
    for (QWidget* b : buttons_) b->setEnabled(!busy);
}

void TTableEditor::ShowError(const std::string& text) {
    // The model's CR LF line breaks as the message box shows them.
    TMyForm::ShowError(QString::fromStdString(text).replace("\r\n", "\n"));
}

std::string TTableEditor::CellText(int row, int column) const {
    return grid_->Text(row, column).toStdString();
}

void TTableEditor::SetCellText(int row, int column, const std::string& text) {
    grid_->SetText(row, column, QString::fromStdString(text));
}

int TTableEditor::CurrentRow() const {
    return grid_->currentRow();
}

int TTableEditor::CurrentColumn() const {
    return grid_->currentColumn();
}

void TTableEditor::SetCurrentCell(int row, int column) {
    grid_->setCurrentCell(row, column);
}

void TTableEditor::EditCurrent() {
    // A message box took the editor's focus and closed it.
    if (isVisible()) grid_->EditCurrent();
}

void TTableEditor::ShowHint(const std::string& text) {
    if (statusBar_ != nullptr) statusBar_->showMessage(QString::fromStdString(text));
}

TEditAnswer TTableEditor::AskWriteEdit(const std::string& text) {
    QMessageBox question(QMessageBox::Warning, kDriverCaption, QString::fromStdString(text),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    question.setDefaultButton(QMessageBox::Yes);
    question.button(QMessageBox::Yes)->setText("Да");
    question.button(QMessageBox::No)->setText("Нет");
    question.button(QMessageBox::Cancel)->setText("Отмена");
    const int answer = question.exec();
    return answer == QMessageBox::Yes  ? TEditAnswer::Yes
           : answer == QMessageBox::No ? TEditAnswer::No
                                       : TEditAnswer::Cancel;
}

void TTableEditor::PostChanges() {
    QMetaObject::invokeMethod(
        this, [this] { form_->TakeChanges(); }, Qt::QueuedConnection);
}

void TTableEditor::DeliverPosted() {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(grid_, QEvent::MetaCall);
}
