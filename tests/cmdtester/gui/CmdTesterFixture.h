#pragma once
// The command tester's window as a user meets it: the driver registered and created by its ProgID, the
// emulated register at address 2 on COM1 with its clock stopped at 15.03.2024 09:05:07, and the window's
// ini file in a folder of the test's own.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "common/qt/MessageQueueBridge.h"
#include "support/DialogFixture.h"
#include "support/TempDir.h"
#include "tools/cmdtester/fmuMain.h"

namespace tessel_test {

class CmdTesterTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        // The driver's events reach this thread from Qt's loop, as TesselCmd's main arranges.
        tessel::qt::MessageQueueBridge::ForCurrentThread();
        line_->UpdateModel(2, [](EmuRegisterModel& m) { m.clock = EmuDateTime{15, 3, 24, 9, 5, 7}; });
        Open();
    }
    void TearDown() override {
        window_.reset();
        DialogTest::TearDown();
    }

    // A new window, as a new start of the program reads the ini file.
    void Open() {
        window_.reset();
        window_ = std::make_unique<TfmMain>(tessel::cmd::TCmdDriver::Create(), ini_);
        window_->show();
    }

    TfmMain& Window() { return *window_; }
    QTableWidget& Grid() { return Child<QTableWidget>(*window_, "sgParams"); }
    QString Field(const char* name) { return Child<QLineEdit>(*window_, name).text(); }
    QString Label(const char* name) { return Child<QLabel>(*window_, name).text(); }
    // What the driver gives as the current command's frame.
    QString DriverFrame() { return QString::fromStdString(Driver().GetString("CommandCadrHex")); }

    // Clicks the command `code` in the list.
    void Select(long code) {
        auto& list = Child<QListWidget>(*window_, "lbCommands");
        QListWidgetItem* item = list.item(window_->Commands().IndexOfCode(code));
        if (item == nullptr) throw std::runtime_error("no such command in the list");
        list.scrollToItem(item);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
    }

    // The grid row of the shown command's parameter that property `name` carries.
    int Row(const std::string& name) {
        const auto& command = window_->Commands().Items(static_cast<std::size_t>(window_->CurrentIndex()));
        for (std::size_t i = 0; i < command.ParamCount(); ++i)
            if (command.Param(i).Name == name) return static_cast<int>(i);
        throw std::runtime_error("the command shown has no parameter " + name);
    }
    QString Cell(const std::string& name) { return Grid().item(Row(name), 1)->text(); }

    // The grid's open editor, if any.
    QLineEdit* OpenEditor() {
        for (QLineEdit* e : Grid().viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }

    // Types `text` over the value of `name` and leaves the editor open, as a user still typing: F2, the text.
    QLineEdit& TypeIntoCell(const std::string& name, const QString& text) {
        QTableWidget& grid = Grid();
        grid.setCurrentCell(Row(name), 1);
        QTest::keyClick(&grid, Qt::Key_F2);
        QLineEdit* editor = OpenEditor();
        if (editor == nullptr) throw std::runtime_error("the cell of " + name + " opened no editor");
        editor->selectAll();
        TypeText(*editor, text);
        return *editor;
    }

    // Types `text` over the value of `name`, as a user edits a cell: F2, the text, Enter.
    void SetCell(const std::string& name, const QString& text) {
        QTableWidget& grid = Grid();
        QLineEdit* editor = &TypeIntoCell(name, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The item view takes the editor's text once the key's handling is over.
        const QTableWidgetItem* item = grid.item(Row(name), 1);
        if (!WaitFor([&] { return item->text() == text; }))
            throw std::runtime_error("the cell of " + name + " did not take the text typed");
    }

    // Sets the tester's settings through its "Параметры" dialog.
    void SetParams(int timeout, bool waitAnswer, bool sendAnswer) {
        ModalScript script;
        script.Then([&](QWidget& dialog) {
            auto& edit = Child<QLineEdit>(dialog, "edTimeout");
            edit.selectAll();
            TypeText(edit, QString::number(timeout));
            for (const auto& [name, on] :
                 {std::pair{"chbWaitAnswer", waitAnswer}, {"chbSendAnswer", sendAnswer}})
                if (Child<QAbstractButton>(dialog, name).isChecked() != on) Click(dialog, name);
            Click(dialog, "btnOK");
        });
        Click(*window_, "btnParams");
    }

    TempDir dir_;
    std::string ini_ = dir_.File("TesselCmd.ini");
    std::unique_ptr<TfmMain> window_;
};

}  // namespace tessel_test
