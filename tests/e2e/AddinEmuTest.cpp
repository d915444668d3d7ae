// The 1C:Enterprise adapter against the register emulator: the host reads and calls the driver by number and
// hears of the register's own requests through its external event.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/platform/MessageQueue.h"
#include "common/platform/Registry.h"
#include "driver/automation/ole1C.h"
#include "driver/automation/untDrvLink.h"
#include "driver/engine/untConst.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuLine.h"

namespace {

using tessel::ComPtr;

// The host's connection object, which also listens to IDriverEvents: the CommandID of every Command event,
// and the source and data of every external event.
class Host final : public IDispatch, public IAsyncEvent {
  public:
    ULONG refs = 1;
    std::vector<LONG> ids;
    std::vector<std::string> data;
    std::vector<std::string> sources;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IDriverEvents) {
            *ppv = static_cast<IDispatch*>(this);
        } else if (riid == IID_IAsyncEvent) {
            *ppv = static_cast<IAsyncEvent*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != 1 || params == nullptr || params->cArgs != 1) return DISP_E_MEMBERNOTFOUND;
        ids.push_back(params->rgvarg[0].lVal);
        return S_OK;
    }
    STDMETHOD(SetEventBufferDepth)(LONG) override { return S_OK; }
    STDMETHOD(GetEventBufferDepth)(LONG* depth) override {
        *depth = 1;
        return S_OK;
    }
    STDMETHOD(ExternalEvent)(BSTR source, BSTR, BSTR value) override {
        sources.push_back(tessel::BstrToUtf8(source));
        data.push_back(tessel::BstrToUtf8(value));
        return S_OK;
    }
    STDMETHOD(CleanBuffer)() override { return S_OK; }
};

class AddinEmu : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey(kDriverKey);
        line_ = EmuLine::StartOnNewPty();
        line_->AddRegister(2);
        ::setenv("TESSEL_COM1", line_->Path().c_str(), 1);
        TDrvLinks::SetEngineFactory([dir = counters_.Path()] {
            return std::make_unique<TEcrDrv>(TEcrDrv::TOptions{dir, {}});
        });
        ASSERT_EQ(Tole1C::CreateInstance(IID_ILanguageExtender, ext_.PutVoid()), S_OK);
        ASSERT_EQ(ext_.As(IID_IInitDone, init_), S_OK);
        // As a configuration does: everything by name, through the language extension.
        ASSERT_EQ(Set("НомерПорта", 1), S_OK);
        ASSERT_EQ(Set("Бензиновая", 1), S_OK);  // a pseudo-terminal has no modem lines to pace
        ASSERT_EQ(Set("Таймаут", 300), S_OK);
        ASSERT_EQ(Set("ПортОткрыт", 1), S_OK);
        ASSERT_EQ(GetLong("Результат"), 0) << GetText("ОписаниеРезультата");
    }
    void TearDown() override {
        init_.Reset();
        ext_.Reset();
        TDrvLinks::SetEngineFactory(nullptr);
        line_.reset();
        ::unsetenv("TESSEL_COM1");
    }

    LONG Index(const char* name, bool method) {
        LONG index = -1;
        const tessel::UniqueBstr text = tessel::Utf8ToBstr(name);
        const HRESULT hr = method ? ext_->FindMethod(text.get(), &index) : ext_->FindProp(text.get(), &index);
        EXPECT_EQ(hr, S_OK) << name;
        return index;
    }
    HRESULT Set(const char* name, LONG value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return ext_->SetPropVal(Index(name, false), &v);
    }
    VARIANT Get(const char* name) {
        VARIANT v;
        VariantInit(&v);
        EXPECT_EQ(ext_->GetPropVal(Index(name, false), &v), S_OK) << name;
        return v;
    }
    LONG GetLong(const char* name) {
        const VARIANT v = Get(name);
        EXPECT_EQ(v.vt, VT_I4) << name;
        return v.lVal;
    }
    std::string GetText(const char* name) {
        VARIANT v = Get(name);
        const std::string text = v.vt == VT_BSTR ? tessel::BstrToUtf8(v.bstrVal) : std::string();
        VariantClear(&v);
        return text;
    }
    LONG Call(const char* name) {
        VARIANT v;
        VariantInit(&v);
        EXPECT_EQ(ext_->CallAsFunc(Index(name, true), &v, nullptr), S_OK) << name;
        EXPECT_EQ(v.vt, VT_I4) << name;
        return v.lVal;
    }

    // Pumps the engine thread's queue until the host has heard `count` events or `ms` have passed.
    bool PumpUntil(const Host& host, std::size_t count, std::uint32_t ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        auto queue = tessel::MessageQueue::ForCurrentThread();
        while (host.data.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            queue->WaitAndDispatch(static_cast<std::uint32_t>(left.count()));
        }
        return true;
    }

    // Answers the received command `id` with result 0, as a configuration serving the register would.
    void AnswerAsConfiguration(LONG id) {
        ASSERT_EQ(Set("НомерКоманды", id), S_OK);
        ASSERT_EQ(Call("ПолучитьПараметрыКоманды"), 0) << GetText("ОписаниеРезультата");
        const LONG from = GetLong("АдресИсточника");
        ASSERT_EQ(Set("ТипКоманды", 1), S_OK);
        ASSERT_EQ(Set("АдресПриемника", from), S_OK);
        ASSERT_EQ(Set("АдресИсточника", GetLong("АдресПК")), S_OK);
        ASSERT_EQ(Set("КодОшибкиКоманды", 0), S_OK);
        ASSERT_EQ(Call("ПередатьКоманду"), 0) << GetText("ОписаниеРезультата");
        ASSERT_EQ(Call("УдалитьКоманду"), 0);
    }

    TempDir counters_;
    std::unique_ptr<EmuLine> line_;
    // It outlives the object, which may still hold it when a test ends early.
    Host host_;
    ComPtr<ILanguageExtender> ext_;
    ComPtr<IInitDone> init_;
};

TEST_F(AddinEmu, DeviceEnabledReadsOneWhileThePortIsOpen) {
    EXPECT_EQ(GetLong("DeviceEnabled"), 1) << "not the automation true, -1";
    ASSERT_EQ(Set("DeviceEnabled", 0), S_OK);
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
    Host& host = host_;
    ASSERT_EQ(init_->Init(&host), S_OK);
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(ext_.As(IID_IConnectionPointContainer, points), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(points->FindConnectionPoint(DIID_IDriverEvents, point.Put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&host), &cookie), S_OK);

    const std::vector<Bytes> requests = {{0x80, 1, 2, 3}, {0x81, 9}};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        std::unique_ptr<TCommand> answer;
        std::jthread reg([&] { answer = line_->SendRequest(2, requests[i], 3000); });
        ASSERT_TRUE(PumpUntil(host, i + 1, 3000)) << "request " << i;
        ASSERT_EQ(host.ids.size(), i + 1);
        AnswerAsConfiguration(host.ids[i]);
        reg.join();
        ASSERT_NE(answer, nullptr) << "request " << i;
        EXPECT_EQ(answer->ResultCode, 0);
    }
    // Nothing more arrives: each request was told once.
    tessel::MessageQueue::ForCurrentThread()->WaitAndDispatch(100);
    ASSERT_EQ(host.data.size(), 2u);
    EXPECT_EQ(host.data,
              (std::vector<std::string>{std::to_string(host.ids[0]), std::to_string(host.ids[1])}));
    EXPECT_NE(host.ids[0], host.ids[1]);
    EXPECT_EQ(host.sources, (std::vector<std::string>{"ДрайверККМ", "ДрайверККМ"}));
    point->Unadvise(cookie);
    EXPECT_EQ(init_->Done(), S_OK);
    EXPECT_EQ(host.refs, 1u);
}

}  // namespace
