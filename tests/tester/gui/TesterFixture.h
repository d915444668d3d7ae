#pragma once
// The driver test program's window as a user meets it: the driver registered and created by its ProgID on
// first use, the emulated register at address 2 on COM1 with its clock stopped at 15.03.2024 09:05:07.

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "common/qt/MessageQueueBridge.h"
#include "support/DialogFixture.h"
#include "tools/emulator/EmuScript.h"
#include "tools/tester/fmuMain.h"

namespace tessel_test {

// Fails the test for every modal window that opens while it lives, and closes it: for work that must end
// without a word.
class NoModalWindows {
  public:
    NoModalWindows() {
        QObject::connect(&timer_, &QTimer::timeout, [] {
            QWidget* window = QApplication::activeModalWidget();
            if (window == nullptr) return;
            const auto* box = qobject_cast<QMessageBox*>(window);
            ADD_FAILURE() << "unexpected window: "
                          << (box ? box->text() : window->windowTitle()).toStdString();
            window->close();
        });
        timer_.start(10);
    }

  private:
    QTimer timer_;
};

class TesterTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        // The driver's events reach this thread from Qt's loop, as TesselTst's main arranges.
        tessel::qt::MessageQueueBridge::ForCurrentThread();
        line_->UpdateModel(2, [](EmuRegisterModel& m) { m.clock = EmuDateTime{15, 3, 24, 9, 5, 7}; });
        window_ = std::make_unique<tessel::tst::TfmMain>();
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        DialogTest::TearDown();
    }

    tessel::tst::TfmMain& Window() { return *window_; }

    // Clicks the page captioned `caption` in the list and returns it.
    QWidget& Page(const char* caption) {
        auto& list = Child<QListWidget>(*window_, "lbPages");
        for (int i = 0; i < list.count(); ++i) {
            QListWidgetItem* item = list.item(i);
            if (!item->text().endsWith(QString(". ") + caption)) continue;
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
            QWidget& page = window_->Pages().Items(i);
            if (!page.isVisible()) throw std::runtime_error(std::string("the page did not show: ") + caption);
            return page;
        }
        throw std::runtime_error(std::string("no page ") + caption);
    }

    static QString Text(QWidget& page, const char* name) {
        if (auto* memo = page.findChild<QPlainTextEdit*>(name)) return memo->toPlainText();
        return Child<QLabel>(page, name).text();
    }
    static QString ButtonText(QWidget& page, const char* name) {
        return Child<QAbstractButton>(page, name).text();
    }

    // Waits until the page's button `name` is enabled and reads `text` (the page's work has ended).
    static bool WaitForButton(QWidget& page, const char* name, const QString& text, int ms = 10000) {
        auto& button = Child<QAbstractButton>(page, name);
        return WaitFor([&] { return button.isEnabled() && button.text() == text; }, ms);
    }

    // The register at 2 sends the script `script` on a thread of its own while this thread runs the window;
    // true when every request was answered.
    bool PlayScript(const EmuScript& script, std::uint32_t perRequestMs = 3000) {
        std::atomic<bool> done = false;
        bool answered = false;
        std::jthread reg([&] {
            answered = RunScript(*line_, script, perRequestMs, {});
            done = true;
        });
        const bool ended = WaitFor([&] { return done.load(); },
                                   static_cast<int>(perRequestMs * script.Steps().size()) + 5000);
        return ended && answered;
    }

    std::unique_ptr<tessel::tst::TfmMain> window_;
};

}  // namespace tessel_test
