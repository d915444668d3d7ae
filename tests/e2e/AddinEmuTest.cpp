// The 1C:Enterprise adapter against the register emulator: the host reads and calls the driver by number and
// hears of the register's own requests through its external event.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/AddinFixture.h"
#include "support/ComSinks.h"
#include "support/EmuFixture.h"

namespace {

using tessel_test::HostSink;

class AddinEmu : public tessel_test::AddinFixture {
  protected:
    void SetUp() override {
        AddinFixture::SetUp();
        // As a configuration does: everything by name, through the language extension.
        ASSERT_EQ(SetLong("НомерПорта", 1), S_OK);
        ASSERT_EQ(SetLong("Бензиновая", 1), S_OK);  // a pseudo-terminal has no modem lines to pace
        ASSERT_EQ(SetLong("Таймаут", 300), S_OK);
        ASSERT_EQ(SetLong("ПортОткрыт", 1), S_OK);
        ASSERT_EQ(GetLong("Результат"), 0) << GetText("ОписаниеРезультата");
    }

    // Answers the received command `id` with result 0, as a configuration serving the register would.
    void AnswerAsConfiguration(LONG id) {
        ASSERT_EQ(SetLong("НомерКоманды", id), S_OK);
        ASSERT_EQ(Call("ПолучитьПараметрыКоманды"), 0) << GetText("ОписаниеРезультата");
        const LONG from = GetLong("АдресИсточника");
        ASSERT_EQ(SetLong("ТипКоманды", 1), S_OK);
        ASSERT_EQ(SetLong("АдресПриемника", from), S_OK);
        ASSERT_EQ(SetLong("АдресИсточника", GetLong("АдресПК")), S_OK);
        ASSERT_EQ(SetLong("КодОшибкиКоманды", 0), S_OK);
        ASSERT_EQ(Call("ПередатьКоманду"), 0) << GetText("ОписаниеРезультата");
        ASSERT_EQ(Call("УдалитьКоманду"), 0);
    }

    tessel_test::EmuPort line_{1};
    // The fixture's TearDown releases the object, which may still hold it when a test ends early.
    HostSink host_;
};

TEST_F(AddinEmu, DeviceEnabledReadsOneWhileThePortIsOpen) {
    EXPECT_EQ(GetLong("DeviceEnabled"), 1) << "not the automation true, -1";
    ASSERT_EQ(SetLong("DeviceEnabled", 0), S_OK);
    EXPECT_EQ(GetLong("DeviceEnabled"), 0);
}

TEST_F(AddinEmu, MethodsReachTheRegister) {
    EXPECT_EQ(Call("Beep"), 0) << GetText("ResultDescription");
    EXPECT_EQ(line_->ExecutionCount(2, 0x13), 1u);
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.operatorNumber = 9; });
    EXPECT_EQ(Call("получитьсостояниеккм"), 0) << GetText("ResultDescription");
    EXPECT_EQ(GetLong("НомерОператора"), 9);
    EXPECT_EQ(GetText("ОписаниеРезультата"), "Ошибок нет");
    // Money reaches the host as a number it can count with.
    EXPECT_EQ(Call("GetCashReg"), 0) << GetText("ResultDescription");
    EXPECT_EQ(Get("ДенежныйРегистр").vt, VT_R8);
}

TEST_F(AddinEmu, EachRegisterRequestReachesTheHostOnceWithItsCommandID) {
    HostSink& host = host_;
    ASSERT_EQ(init_->Init(&host), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(tessel_test::Advise(ext_.Get(), DIID_IDriverEvents, static_cast<IDispatch*>(&host), &cookie),
              S_OK);

    const std::vector<Bytes> requests = {{0x80, 1, 2, 3}, {0x81, 9}};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        std::unique_ptr<TCommand> answer;
        std::jthread reg([&] { answer = line_->SendRequest(2, requests[i], 3000); });
        ASSERT_TRUE(tessel_test::PumpUntil([&] { return host.events.size() >= i + 1; }, 3000))
            << "request " << i;
        ASSERT_EQ(host.Count(), i + 1);
        AnswerAsConfiguration(host.Ids()[i]);
        reg.join();
        ASSERT_NE(answer, nullptr) << "request " << i;
        EXPECT_EQ(answer->ResultCode, 0);
    }
    // Nothing more arrives: each request was told once.
    tessel_test::PumpFor(100);
    const std::vector<LONG> ids = host.Ids();
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_EQ(host.events.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(host.events[i][0], "ДрайверККМ");
        EXPECT_EQ(host.events[i][2], std::to_string(ids[i]));
    }
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(tessel_test::Unadvise(ext_.Get(), DIID_IDriverEvents, cookie), S_OK);
    EXPECT_EQ(init_->Done(), S_OK);
    EXPECT_EQ(host.refs, 1u);
}

}  // namespace
