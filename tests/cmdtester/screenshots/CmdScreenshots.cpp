// Renders the command tester's windows to PNG as a user sees them after a first action: the driver
// registered, an emulated register on COM1, the offscreen platform. scripts/screenshots runs every case with
// TESSEL_SCREENSHOTS naming the folder.
#include <QPushButton>
#include <atomic>
#include <thread>

#include "cmdtester/gui/CmdTesterFixture.h"
#include "support/WindowShot.h"

namespace tessel_test {
namespace {

using CmdScreenshot = CmdTesterTest;

TEST_F(CmdScreenshot, MainWindowAfterRequestingTheStatus) {
    SetParams(1000, true, true);
    Select(0x11);
    Click(Window(), "btnExecute");
    SaveWindowShot(Window(), "cmdtester");
}

TEST_F(CmdScreenshot, MainWindowAfterAnsweringARequest) {
    SetParams(1000, false, true);
    Select(0x81);
    SetCell("Text", "Молоко 3,2% 1 л");
    SetCell("Price", "45.5");
    Select(0xFC);
    Click(Window(), "btnExecute");
    std::atomic<bool> done = false;
    std::jthread reg([&] {
        line_->SendRequest(2, {0x81, 0x01, 0x00, 0xD0, 0x07, 0, 0, 0, 0x7B, 0, 0, 0, 0, 0x01}, 3000);
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done.load(); }));
    SaveWindowShot(Window(), "cmdtester-answer");
}

TEST_F(CmdScreenshot, Params) {
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        SaveWindowShot(dialog, "cmdtester-params");
        Click(dialog, "btnCancel");
    });
    Click(Window(), "btnParams");
}

TEST_F(CmdScreenshot, About) {
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "cmdtester-about");
        Click(box, "btnOK");
    });
    Click(Window(), "btnAbout");
}

TEST_F(CmdScreenshot, WriteError) {
    Select(0x14);
    SetCell("ECRPortNumber", "abc");
    ModalScript script;
    script.Then([&](QWidget& box) {
        SaveWindowShot(box, "cmdtester-error");
        TakeMessage(box);
    });
    Click(Window(), "btnExecute");
}

}  // namespace
}  // namespace tessel_test
