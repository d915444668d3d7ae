#include "driver/dialogs/MyForm.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "common/platform/Registry.h"

const char* const kDriverCaption = "Драйвер ККМ";

namespace {

const char* const kFontKey = "\\.DEFAULT\\SOFTWARE\\Korvex\\Font";

// Reads `name` with `read` into `target` when the value is there and of its type.
template <typename T, typename Read>
void ReadOptional(const tessel::Registry& reg, const char* name, T& target, Read read) {
    try {
        if (reg.ValueExists(name)) target = read(name);
    } catch (const tessel::RegistryError&) {
        // A value of another type is no setting: the default stands.
    }
}

}  // namespace

TFontSettings TFontSettings::Load() {
    TFontSettings s;
    try {
        tessel::Registry reg;
        if (!reg.OpenKey(kFontKey, false)) return s;
        const auto text = [&reg](const char* n) { return reg.ReadString(n); };
        const auto number = [&reg](const char* n) { return reg.ReadInteger(n); };
        const auto flag = [&reg](const char* n) { return reg.ReadBool(n); };
        ReadOptional(reg, "FontName", s.name, text);
        ReadOptional(reg, "FontSize", s.size, number);
        std::int32_t color = static_cast<std::int32_t>(s.color);
        ReadOptional(reg, "FontColor", color, number);
        s.color = static_cast<std::uint32_t>(color);
        ReadOptional(reg, "FontCharSet", s.charSet, number);
        ReadOptional(reg, "FontIsBold", s.bold, flag);
        ReadOptional(reg, "FontIsItalic", s.italic, flag);
        ReadOptional(reg, "FontIsUnderlined", s.underline, flag);
        ReadOptional(reg, "FontIsStriledOut", s.strikeOut, flag);
    } catch (const tessel::RegistryError&) {
        // A damaged store: the dialogs still open, with what was read.
    }
    return s;
}

QFont TFontSettings::Font() const {
    QFont font(QString::fromStdString(name));
    if (size > 0) font.setPointSize(size);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    return font;
}

QColor TFontSettings::Color() const {
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
    setFont(settings.Font());
    if (settings.color != 0) {
        QPalette p = palette();
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(role, settings.Color());
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
