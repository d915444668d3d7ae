// The thread's message queue keeps being dispatched while a modal window runs.
#include <QDialog>
#include <atomic>
#include <thread>

#include "common/platform/MessageQueue.h"
#include "common/qt/MessageQueueBridge.h"
#include "support/ComSinks.h"
#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

TEST(MessageQueueBridge, MessagesPostedFromAnotherThreadArriveInsideAModalLoop) {
    tessel::qt::MessageQueueBridge::ForCurrentThread();
    std::vector<std::uintptr_t> received;
    tessel::MessageWindow window(
        [&](std::uint32_t, std::uintptr_t w, std::intptr_t) { received.push_back(w); });
    QDialog dialog;
    ModalScript script;
    script.Then([&](QWidget& open) {
        std::thread poster([&] {
            for (std::uintptr_t i = 1; i <= 3; ++i) window.Post(1124, i, 0);
        });
        poster.join();
        EXPECT_TRUE(WaitFor([&] { return received.size() == 3; }));
        open.close();
    });
    dialog.exec();
    EXPECT_EQ(received, (std::vector<std::uintptr_t>{1, 2, 3}));
    EXPECT_EQ(&tessel::qt::MessageQueueBridge::ForCurrentThread(),
              &tessel::qt::MessageQueueBridge::ForCurrentThread());
}

using BridgeDialogTest = DialogTest;

TEST_F(BridgeDialogTest, DriverEventsArriveWhileADriverDialogIsOpen) {
    Driver().PutBool("DeviceEnabled", true);
    CommandSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(Advise(object_.Get(), DIID_IDriverEvents, &sink, &cookie), S_OK);
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        std::jthread reg([&] { line_->SendRequest(2, {0x80, 1, 2, 3}, 300); });
        EXPECT_TRUE(WaitFor([&] { return sink.Count() == 1; }));
        EXPECT_EQ(sink.Thread(), std::this_thread::get_id());
        Click(dialog, "btnOK");
    });
    EXPECT_EQ(Driver().Call("ShowStatusDlg"), 0);
    EXPECT_EQ(sink.Count(), 1u);
    EXPECT_EQ(Unadvise(object_.Get(), DIID_IDriverEvents, cookie), S_OK);
}

}  // namespace
}  // namespace tessel_test
