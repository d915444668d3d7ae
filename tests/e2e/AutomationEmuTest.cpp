// Automation objects against the register emulator: the shared engine, the events of received commands on
// every object, the single-sink connection points, failing sinks, and the last release saving the devices.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/platform/AtomicFile.h"
#include "common/platform/MessageQueue.h"
#include "common/platform/Registry.h"
#include "driver/automation/oleMain.h"
#include "driver/engine/untConst.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuLine.h"

namespace {

using tessel::ComPtr;

// An event sink: a dispinterface that records Command(CommandID) and may fail every call.
class TSink final : public IDispatch {
  public:
    TSink(const IID& iid, std::vector<std::string>* order, std::string tag, bool fail = false)
        : iid_(iid), order_(order), tag_(std::move(tag)), fail_(fail) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, iid_)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override { return --refs_; }  // lives on the test's stack
    STDMETHOD(GetTypeInfoCount)(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != 1 || p == nullptr || p->cArgs != 1 || p->rgvarg[0].vt != VT_I4)
            return DISP_E_MEMBERNOTFOUND;
        ids.push_back(p->rgvarg[0].lVal);
        thread = std::this_thread::get_id();
        if (order_ != nullptr) order_->push_back(tag_);
        return fail_ ? E_FAIL : S_OK;
    }

    std::vector<LONG> ids;
    std::thread::id thread;
    std::atomic<ULONG> refs_{0};

  private:
    IID iid_;
    std::vector<std::string>* order_;
    std::string tag_;
    bool fail_;
};

class AutomationEmu : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry reg;
        reg.DeleteKey(kDriverKey);
        line_ = EmuLine::StartOnNewPty();
        line_->AddRegister(2);
        ::setenv("TESSEL_COM1", line_->Path().c_str(), 1);
    }
    void TearDown() override {
        line_.reset();
        ::unsetenv("TESSEL_COM1");
    }

    ComPtr<ITesselDriver3> MakeObject() {
        ComPtr<ITesselDriver3> d;
        d.Attach(new TTesselDrv());
        d->put_PortNumber(1);
        d->put_Fuel(VARIANT_TRUE);  // a pseudo-terminal has no modem lines to pace
        d->put_Timeout(500);
        return d;
    }

    DWORD Advise(ITesselDriver3* d, const IID& iid, IDispatch* sink, HRESULT expected = S_OK) {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(d->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(iid, point.Put()), S_OK);
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(sink, &cookie), expected);
        return cookie;
    }

    void Unadvise(ITesselDriver3* d, const IID& iid, DWORD cookie) {
        ComPtr<IConnectionPointContainer> container;
        d->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
        ComPtr<IConnectionPoint> point;
        container->FindConnectionPoint(iid, point.Put());
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
    }

    // Pumps this thread's queue until `done` holds or `ms` pass.
    template <typename Done>
    bool PumpUntil(Done done, std::uint32_t ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        auto queue = tessel::MessageQueue::ForCurrentThread();
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            queue->WaitAndDispatch(static_cast<std::uint32_t>(left.count()));
        }
        return true;
    }

    std::unique_ptr<EmuLine> line_;
};

TEST_F(AutomationEmu, OneRequestRaisesCommandOnceOnEveryObjectPageEventsFirst) {
    auto first = MakeObject();
    auto second = MakeObject();
    ASSERT_EQ(first->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    std::vector<std::string> order;
    TSink page1(DIID_IPageEvents, &order, "page1");
    TSink driver1(DIID_IDriverEvents, &order, "driver1");
    TSink driver2(DIID_IDriverEvents, &order, "driver2");
    const DWORD c1 = Advise(first.Get(), DIID_IPageEvents, &page1);
    const DWORD c2 = Advise(first.Get(), DIID_IDriverEvents, &driver1);
    const DWORD c3 = Advise(second.Get(), DIID_IDriverEvents, &driver2);

    std::jthread reg([&] { line_->SendRequest(2, {0x80, 1, 2, 3}, 300); });
    ASSERT_TRUE(PumpUntil([&] { return driver1.ids.size() == 1 && driver2.ids.size() == 1; }, 3000));
    reg.join();
    PumpUntil([] { return false; }, 100);  // nothing more arrives
    ASSERT_EQ(page1.ids.size(), 1u);
    EXPECT_EQ(driver1.ids, page1.ids);
    EXPECT_EQ(driver2.ids, page1.ids);
    EXPECT_EQ(driver1.thread, std::this_thread::get_id());
    EXPECT_EQ(order, (std::vector<std::string>{"page1", "driver1", "driver2"}));

    // The number leads to the command through either object.
    LONG code = -1;
    second->put_CommandID(page1.ids[0]);
    second->GetCommandParams(&code);
    EXPECT_EQ(code, 0);
    LONG opcode = 0;
    first->get_CommandCode(&opcode);
    EXPECT_EQ(opcode, 0x80);

    // An answer that a caller waits for raises nothing.
    first->GetECRStatus(&code);
    EXPECT_EQ(code, 0);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(driver1.ids.size(), 1u);
    Unadvise(first.Get(), DIID_IPageEvents, c1);
    Unadvise(first.Get(), DIID_IDriverEvents, c2);
    Unadvise(second.Get(), DIID_IDriverEvents, c3);
}

TEST_F(AutomationEmu, EachPointTakesOneSink) {
    auto d = MakeObject();
    TSink a(DIID_IDriverEvents, nullptr, "a");
    TSink b(DIID_IDriverEvents, nullptr, "b");
    const DWORD cookie = Advise(d.Get(), DIID_IDriverEvents, &a);
    Advise(d.Get(), DIID_IDriverEvents, &b, CONNECT_E_ADVISELIMIT);
    Unadvise(d.Get(), DIID_IDriverEvents, cookie);
    const DWORD again = Advise(d.Get(), DIID_IDriverEvents, &b);
    Unadvise(d.Get(), DIID_IDriverEvents, again);
    EXPECT_EQ(a.refs_.load(), 0u);
    EXPECT_EQ(b.refs_.load(), 0u);
}

TEST_F(AutomationEmu, AFailingSinkIsLoggedAndTheOtherInterfaceStillHearsIt) {
    TempDir dir;
    auto d = MakeObject();
    auto log = tessel::Utf8ToBstr(dir.File("drv.log"));
    d->put_LogFileName(log.get());
    d->put_LogEnabled(VARIANT_TRUE);
    d->put_DeviceEnabled(VARIANT_TRUE);
    TSink page(DIID_IPageEvents, nullptr, "page", /*fail=*/true);
    TSink driver(DIID_IDriverEvents, nullptr, "driver");
    const DWORD c1 = Advise(d.Get(), DIID_IPageEvents, &page);
    const DWORD c2 = Advise(d.Get(), DIID_IDriverEvents, &driver);
    std::jthread reg([&] { line_->SendRequest(2, {0x80, 1, 2, 3}, 300); });
    ASSERT_TRUE(PumpUntil([&] { return driver.ids.size() == 1; }, 3000));
    reg.join();
    EXPECT_EQ(page.ids, driver.ids);
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
    Unadvise(d.Get(), DIID_IPageEvents, c1);
    Unadvise(d.Get(), DIID_IDriverEvents, c2);
}

TEST_F(AutomationEmu, ThePortLivesUntilTheLastObjectAndItsReleaseSavesTheDevices) {
    auto first = MakeObject();
    auto second = MakeObject();
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
    auto again = MakeObject();
    BSTR got = nullptr;
    again->get_LDName(&got);
    EXPECT_EQ(tessel::BstrToUtf8(got), "Касса 1");
    SysFreeString(got);
}

}  // namespace
