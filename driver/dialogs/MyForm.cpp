#include "driver/dialogs/MyForm.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

// The character set is read with the rest but changes nothing here: the toolkit draws Unicode text in
// whatever script it holds.
QFont DialogFont(const TFontSettings& settings) {
    QFont font(QString::fromStdString(settings.name));
    if (settings.size > 0) font.setPointSize(settings.size);
    font.setBold(settings.bold);
    font.setItalic(settings.italic);
    font.setUnderline(settings.underline);
    font.setStrikeOut(settings.strikeOut);
    return font;
}

QColor DialogColor(const TFontSettings& settings) {
    const std::uint32_t color = settings.color;
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// ---- TOwner ----

TOwner TOwner::FromHandle(LONG handle) {
    TOwner owner;
    if (handle == 0) return owner;
    const auto id = static_cast<WId>(static_cast<std::uint32_t>(handle));
    if (QWidget* widget = QWidget::find(id)) {
        owner.widget_ = widget->window();
    } else {
        // A window of another process (or one this toolkit does not know): it can still be the parent that
        // the window manager keeps the dialog above. Platforms without foreign windows give none.
        owner.foreign_.reset(QWindow::fromWinId(id));
    }
    return owner;
}

TOwner TOwner::ActiveWindow() {
    TOwner owner;
    owner.widget_ = QApplication::activeWindow();
    return owner;
}

TOwner::~TOwner() = default;

void TOwner::Attach(QWidget& dialog) const {
    if (!foreign_) return;
    dialog.winId();
    if (QWindow* window = dialog.windowHandle()) window->setTransientParent(foreign_.get());
}

QPoint TOwner::MapToScreen(const QPoint& offset) const {
    if (widget_) return widget_->mapToGlobal(offset);
    if (foreign_) return foreign_->geometry().topLeft() + offset;
    return offset;
}

// ---- TMyForm ----

TMyForm::TMyForm(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const TFontSettings settings = TFontSettings::Load();
    setFont(DialogFont(settings));
    if (settings.color != 0) {
        QPalette p = palette();
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(role, DialogColor(settings));
        setPalette(p);
    }
}

void TMyForm::ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kDriverCaption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void TMyForm::ShowError(const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
}

void TMyForm::RunAction(const QList<QWidget*>& buttons, const std::function<void()>& action) {
    for (QWidget* b : buttons) b->setEnabled(false);
    ShowErrors(action);
    for (QWidget* b : buttons) b->setEnabled(true);
}

void TMyForm::FixSize() {
    adjustSize();
    setFixedSize(size());
}

void TMyForm::CentreOnScreen() {
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    move(s->availableGeometry().center() - rect().center());
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

void ShowErrors(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        TMyForm::ShowError(e);
    } catch (...) {
        TMyForm::ShowError(QString("Неизвестная ошибка"));
    }
}
