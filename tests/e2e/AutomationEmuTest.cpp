// Automation objects against the register emulator: the shared engine, the events of received commands on
// every object, the single-sink connection points, failing sinks, and the last release saving the devices.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "driver/engine/untConst.h"
#include "support/ComSinks.h"
#include "support/EmuFixture.h"
#include "support/TempDir.h"

namespace {

using tessel::ComPtr;
using tessel_test::Advise;
using tessel_test::CommandSink;
using tessel_test::NewEmuObject;
using tessel_test::PumpFor;
using tessel_test::PumpUntil;
using tessel_test::Unadvise;

class AutomationEmu : public ::testing::Test {
  protected:
    void SetUp() override { tessel_test::ForgetDriverSettings(); }

    tessel_test::EmuPort line_{1};
};

TEST_F(AutomationEmu, OneRequestRaisesCommandOnceOnEveryObjectPageEventsFirst) {
    auto first = NewEmuObject();
    auto second = NewEmuObject();
    ASSERT_EQ(first->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    std::vector<std::string> order;
    CommandSink page1(&order, "page1");
    CommandSink driver1(&order, "driver1");
    CommandSink driver2(&order, "driver2");
    DWORD c1 = 0, c2 = 0, c3 = 0;
    ASSERT_EQ(Advise(first.Get(), DIID_IPageEvents, &page1, &c1), S_OK);
    ASSERT_EQ(Advise(first.Get(), DIID_IDriverEvents, &driver1, &c2), S_OK);
    ASSERT_EQ(Advise(second.Get(), DIID_IDriverEvents, &driver2, &c3), S_OK);

    std::jthread reg([&] { line_->SendRequest(2, {0x80, 1, 2, 3}, 300); });
    ASSERT_TRUE(PumpUntil([&] { return driver1.Count() == 1 && driver2.Count() == 1; }, 3000));
    reg.join();
    PumpFor(100);  // nothing more arrives
    const std::vector<LONG> ids = page1.Ids();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(driver1.Ids(), ids);
    EXPECT_EQ(driver2.Ids(), ids);
    EXPECT_EQ(driver1.Thread(), std::this_thread::get_id());
    const std::string id = std::to_string(ids[0]);
    EXPECT_EQ(order, (std::vector<std::string>{"page1 " + id, "driver1 " + id, "driver2 " + id}));

    // The number leads to the command through either object.
    LONG code = -1;
    second->put_CommandID(ids[0]);
    second->GetCommandParams(&code);
    EXPECT_EQ(code, 0);
    LONG opcode = 0;
    first->get_CommandCode(&opcode);
    EXPECT_EQ(opcode, 0x80);

    // An answer that a caller waits for raises nothing.
    first->GetECRStatus(&code);
    EXPECT_EQ(code, 0);
    PumpFor(100);
    EXPECT_EQ(driver1.Count(), 1u);
    EXPECT_EQ(Unadvise(first.Get(), DIID_IPageEvents, c1), S_OK);
    EXPECT_EQ(Unadvise(first.Get(), DIID_IDriverEvents, c2), S_OK);
    EXPECT_EQ(Unadvise(second.Get(), DIID_IDriverEvents, c3), S_OK);
}

TEST_F(AutomationEmu, EachPointTakesOneSink) {
    auto d = NewEmuObject();
    CommandSink a;
    CommandSink b;
    DWORD cookie = 0;
    ASSERT_EQ(Advise(d.Get(), DIID_IDriverEvents, &a, &cookie), S_OK);
    DWORD refused = 0;
    EXPECT_EQ(Advise(d.Get(), DIID_IDriverEvents, &b, &refused), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(Unadvise(d.Get(), DIID_IDriverEvents, cookie), S_OK);
    DWORD again = 0;
    ASSERT_EQ(Advise(d.Get(), DIID_IDriverEvents, &b, &again), S_OK);
    EXPECT_EQ(Unadvise(d.Get(), DIID_IDriverEvents, again), S_OK);
    EXPECT_EQ(a.refs, 1u) << "only the test's own reference is left";
    EXPECT_EQ(b.refs, 1u);
}

TEST_F(AutomationEmu, AFailingSinkIsLoggedAndTheOtherInterfaceStillHearsIt) {
    TempDir dir;
    auto d = NewEmuObject();
    auto log = tessel::Utf8ToBstr(dir.File("drv.log"));
    d->put_LogFileName(log.get());
    d->put_LogEnabled(VARIANT_TRUE);
    d->put_DeviceEnabled(VARIANT_TRUE);
    CommandSink page;
    page.answer = E_FAIL;
    CommandSink driver;
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(Advise(d.Get(), DIID_IPageEvents, &page, &c1), S_OK);
    ASSERT_EQ(Advise(d.Get(), DIID_IDriverEvents, &driver, &c2), S_OK);
    std::jthread reg([&] { line_->SendRequest(2, {0x80, 1, 2, 3}, 300); });
    ASSERT_TRUE(PumpUntil([&] { return driver.Count() == 1; }, 3000));
    reg.join();
    EXPECT_EQ(page.Ids(), driver.Ids());
    d->put_LogEnabled(VARIANT_FALSE);
    std::string text;
    ASSERT_TRUE(tessel::ReadWholeFile(dir.File("drv.log"), text));
    const auto at = text.find("Ошибка при вызове события IPageEvents.");
    ASSERT_NE(at, std::string::npos) << text;
    const auto next = text.find("\r\n", at);
    const auto third = text.find("\r\n", next + 2);
    ASSERT_NE(third, std::string::npos);
    EXPECT_NE(text.find("0x80004005", next), std::string::npos);
    EXPECT_NE(text.substr(third + 2).find(std::string(60, '-')), std::string::npos);
    EXPECT_EQ(text.find("IDriverEvents"), std::string::npos);
    EXPECT_EQ(Unadvise(d.Get(), DIID_IPageEvents, c1), S_OK);
    EXPECT_EQ(Unadvise(d.Get(), DIID_IDriverEvents, c2), S_OK);
}

TEST_F(AutomationEmu, ThePortLivesUntilTheLastObjectAndItsReleaseSavesTheDevices) {
    auto first = NewEmuObject();
    auto second = NewEmuObject();
    auto name = tessel::Utf8ToBstr("Касса 1");
    first->put_LDName(name.get());
    first->put_DeviceEnabled(VARIANT_TRUE);
    first.Reset();
    VARIANT_BOOL open = VARIANT_FALSE;
    second->get_DeviceEnabled(&open);
    EXPECT_EQ(open, VARIANT_TRUE);
    LONG code = -1;
    second->Beep(&code);
    EXPECT_EQ(code, 0);
    second.Reset();
    EXPECT_EQ(TDrvLinks::Current(), nullptr);

    tessel::Registry reg;
    ASSERT_TRUE(reg.OpenKey(std::string(kDriverKey) + "\\Devices", false));
    bool found = false;
    for (const std::string& key : reg.GetKeyNames()) {
        tessel::Registry device;
        if (device.OpenKey(std::string(kDriverKey) + "\\Devices\\" + key, false) &&
            device.ValueExists("DeviceName") && device.ReadString("DeviceName") == "Касса 1")
            found = true;
    }
    EXPECT_TRUE(found);
    // A new object makes a new engine that reads them back.
    auto again = NewEmuObject();
    BSTR got = nullptr;
    again->get_LDName(&got);
    EXPECT_EQ(tessel::BstrToUtf8(got), "Касса 1");
    SysFreeString(got);
}

}  // namespace
