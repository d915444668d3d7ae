// The sink of the driver's events, IPageEvents for the search and IDriverEvents for a client: what it
// answers, which calls reach its handler, and its connection.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/com/ComText.h"
#include "driver/automation/oleMain.h"
#include "driver/search/untEvent.h"
#include "driver/search/untSearchParams.h"
#include "search/FakeDriver.h"
#include "support/ComSinks.h"

namespace {

struct QueryCase {
    const char* name;
    IID iid;
    bool answered;
    IID events = DIID_IPageEvents;  // the interface the sink stands for
};

class SinkQuery : public ::testing::TestWithParam<QueryCase> {};

TEST_P(SinkQuery, AnswersOnlyItsDispatchInterfaces) {
    TEventDispatch sink(nullptr, GetParam().events);
    void* out = &sink;
    const HRESULT hr = sink.QueryInterface(GetParam().iid, &out);
    if (GetParam().answered) {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(out, static_cast<IDispatch*>(&sink));
        EXPECT_EQ(sink.RefCount(), 1u);
        sink.Release();
    } else {
        EXPECT_EQ(hr, E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(sink.RefCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, SinkQuery,
    ::testing::Values(QueryCase{"IUnknown", IID_IUnknown, true}, QueryCase{"IDispatch", IID_IDispatch, true},
                      QueryCase{"IPageEvents", DIID_IPageEvents, true},
                      QueryCase{"IDriverEvents", DIID_IDriverEvents, false},
                      QueryCase{"ITesselDriver", IID_ITesselDriver, false},
                      QueryCase{"IConnectionPoint", IID_IConnectionPoint, false},
                      QueryCase{"DriverSinkIUnknown", IID_IUnknown, true, DIID_IDriverEvents},
                      QueryCase{"DriverSinkIDispatch", IID_IDispatch, true, DIID_IDriverEvents},
                      QueryCase{"DriverSinkIDriverEvents", DIID_IDriverEvents, true, DIID_IDriverEvents},
                      QueryCase{"DriverSinkIPageEvents", DIID_IPageEvents, false, DIID_IDriverEvents}),
    [](const auto& info) { return std::string(info.param.name); });

struct InvokeCase {
    const char* name;
    DISPID dispId;
    std::vector<VARTYPE> argTypes;  // in the order of the arguments; each carries 42 in its type
    bool reachesHandler;
};

class SinkInvoke : public ::testing::TestWithParam<InvokeCase> {};

TEST_P(SinkInvoke, OnlyCommandReachesTheHandlerAndEveryCallSucceeds) {
    std::vector<std::int32_t> received;
    TEventDispatch sink([&received](std::int32_t id) { received.push_back(id); });

    const auto& types = GetParam().argTypes;
    std::vector<VARIANT> args(types.size());
    // Arguments travel last first.
    for (std::size_t i = 0; i < types.size(); ++i) {
        VARIANT& v = args[types.size() - 1 - i];
        VariantInit(&v);
        v.vt = types[i];
        if (types[i] == VT_I4) v.lVal = 42;
        if (types[i] == VT_I2) v.iVal = 42;
        if (types[i] == VT_R8) v.dblVal = 42.0;
        if (types[i] == VT_BSTR) v.bstrVal = tessel::Utf8ToBstr("42").release();
    }
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    EXPECT_EQ(
        sink.Invoke(GetParam().dispId, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
        S_OK);
    for (VARIANT& v : args) VariantClear(&v);

    if (GetParam().reachesHandler) {
        EXPECT_EQ(received, std::vector<std::int32_t>{42});
    } else {
        EXPECT_TRUE(received.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, SinkInvoke,
                         ::testing::Values(InvokeCase{"CommandLong", 1, {VT_I4}, true},
                                           InvokeCase{"CommandShort", 1, {VT_I2}, true},
                                           InvokeCase{"CommandText", 1, {VT_BSTR}, true},
                                           InvokeCase{"CommandFirstOfTwo", 1, {VT_I4, VT_BSTR}, true},
                                           InvokeCase{"CommandWithoutArgument", 1, {}, false},
                                           InvokeCase{"CommandWithNullArgument", 1, {VT_NULL}, false},
                                           InvokeCase{"StockClick", -600, {VT_I4}, false},
                                           InvokeCase{"StockMouse", -605, {VT_I4}, false},
                                           InvokeCase{"StockLast", -607, {VT_I4}, false},
                                           InvokeCase{"OtherMember", 2, {VT_I4}, false},
                                           InvokeCase{"Value", DISPID_VALUE, {VT_I4}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EventDispatch, AFailingHandlerStillSucceedsAndIsCounted) {
    TEventDispatch sink([](std::int32_t id) {
        if (id == 1) throw std::runtime_error("handler failed");
        throw 42;
    });
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = 1;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXCEPINFO info{};
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, nullptr), S_OK);
    EXPECT_EQ(info.bstrDescription, nullptr);
    EXPECT_EQ(sink.HandlerFailures(), 1u);
    EXPECT_EQ(sink.LastHandlerFailure(), "handler failed");
    arg.lVal = 2;
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink.HandlerFailures(), 2u);
    EXPECT_EQ(sink.LastHandlerFailure(), "unknown error");
    EXPECT_EQ(sink.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink.HandlerFailures(), 2u);
}

TEST(EventDriver, ConnectsToIPageEventsAndDisconnectsCompletely) {
    searchtest::FakeDriverBase driver;
    std::vector<std::int32_t> received;
    {
        TEventDriver events(tessel::ComPtr<ITesselDriver>(&driver),
                            [&received](std::int32_t id) { received.push_back(id); });
        EXPECT_FALSE(events.Connected());
        events.Connect();
        events.Connect();  // a second call changes nothing
        EXPECT_TRUE(events.Connected());
        EXPECT_EQ(driver.SinkCount(), 1u);

        EXPECT_EQ(driver.FireCommand(17), S_OK);
        EXPECT_EQ(driver.FireCommand(18), S_OK);
        EXPECT_EQ(received, (std::vector<std::int32_t>{17, 18}));

        events.Disconnect();
        EXPECT_FALSE(events.Connected());
        EXPECT_EQ(driver.SinkCount(), 0u);
        EXPECT_EQ(driver.FireCommand(19), S_OK);
        EXPECT_EQ(received.size(), 2u);

        // A holder that kept the sink beyond the connection reaches no handler any more.
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_I4;
        arg.lVal = 20;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        EXPECT_EQ(
            events.Dispatch().Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
        EXPECT_EQ(received.size(), 2u);
        EXPECT_EQ(static_cast<TEventDispatch&>(events.Dispatch()).RefCount(), 0u);
    }
    EXPECT_EQ(driver.refs, 1u);
}

TEST(EventDriver, ConnectionFailuresRaiseOneMessage) {
    searchtest::FakeDriverBase driver;
    driver.offersEvents = false;
    TEventDriver noContainer(tessel::ComPtr<ITesselDriver>(&driver), [](std::int32_t) {});
    EXPECT_THROW(
        {
            try {
                noContainer.Connect();
            } catch (const ESearchError& e) {
                EXPECT_STREQ(e.what(), "Невозможно подключиться к событийному интерфейсу");
                throw;
            }
        },
        ESearchError);
    EXPECT_FALSE(noContainer.Connected());

    // The driver's point takes one sink: a second is refused.
    driver.offersEvents = true;
    TEventDriver first(tessel::ComPtr<ITesselDriver>(&driver), [](std::int32_t) {});
    first.Connect();
    TEventDriver second(tessel::ComPtr<ITesselDriver>(&driver), [](std::int32_t) {});
    EXPECT_THROW(second.Connect(), ESearchError);
    EXPECT_EQ(driver.SinkCount(), 1u);
}

// The fake driver with the second point a real driver has: IDriverEvents, one sink.
class TwoPointDriver : public searchtest::FakeDriverBase {
  public:
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override {
        if (ppCP == nullptr || riid != DIID_IDriverEvents)
            return FakeDriverBase::FindConnectionPoint(riid, ppCP);
        *ppCP = &driverEvents_;
        driverEvents_.AddRef();
        return S_OK;
    }
    // Raises IDriverEvents.Command(commandID) on every connected sink.
    void FireDriverCommand(std::int32_t commandID) {
        for (const auto& sink : driverEvents_.Sinks())
            EXPECT_EQ(tessel_test::RaiseCommand(reinterpret_cast<IDispatch*>(sink.Get()), commandID), S_OK);
    }
    std::size_t DriverSinkCount() const { return driverEvents_.Count(); }

  private:
    tessel::ConnectionPoint driverEvents_{*this, DIID_IDriverEvents, 1};
};

tessel::ComPtr<IUnknown> UnknownOf(searchtest::FakeDriverBase& driver) {
    return tessel::ComPtr<IUnknown>(static_cast<ITesselDriver*>(&driver));
}

struct PointCase {
    const char* name;
    IID events;
    bool pageEvents;  // which of the two points the sink belongs on
};

class EventPoint : public ::testing::TestWithParam<PointCase> {};

TEST_P(EventPoint, ASinkHearsOnlyTheEventsOfItsOwnPoint) {
    TwoPointDriver driver;
    std::vector<std::int32_t> received;
    {
        TEventDriver events(UnknownOf(driver), GetParam().events,
                            [&received](std::int32_t id) { received.push_back(id); });
        EXPECT_EQ(events.TryConnect(), S_OK);
        EXPECT_EQ(driver.SinkCount(), GetParam().pageEvents ? 1u : 0u);
        EXPECT_EQ(driver.DriverSinkCount(), GetParam().pageEvents ? 0u : 1u);

        EXPECT_EQ(driver.FireCommand(5), S_OK);
        driver.FireDriverCommand(6);
        EXPECT_EQ(received, std::vector<std::int32_t>{GetParam().pageEvents ? 5 : 6});
    }
    EXPECT_EQ(driver.SinkCount(), 0u);
    EXPECT_EQ(driver.DriverSinkCount(), 0u);
    EXPECT_EQ(driver.refs, 1u);
}

INSTANTIATE_TEST_SUITE_P(Points, EventPoint,
                         ::testing::Values(PointCase{"IPageEvents", DIID_IPageEvents, true},
                                           PointCase{"IDriverEvents", DIID_IDriverEvents, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EventDriver, TryConnectNamesTheStepThatFailed) {
    TwoPointDriver driver;
    TEventDriver noSource(tessel::ComPtr<IUnknown>(), DIID_IDriverEvents, [](std::int32_t) {});
    EXPECT_EQ(noSource.TryConnect(), E_POINTER);

    driver.offersEvents = false;
    TEventDriver noContainer(UnknownOf(driver), DIID_IDriverEvents, [](std::int32_t) {});
    EXPECT_EQ(noContainer.TryConnect(), E_NOINTERFACE);
    driver.offersEvents = true;

    TEventDriver noPoint(UnknownOf(driver), IID_IDispatch, [](std::int32_t) {});
    EXPECT_EQ(noPoint.TryConnect(), CONNECT_E_NOCONNECTION);

    TEventDriver first(UnknownOf(driver), DIID_IDriverEvents, [](std::int32_t) {});
    TEventDriver second(UnknownOf(driver), DIID_IDriverEvents, [](std::int32_t) {});
    EXPECT_EQ(first.TryConnect(), S_OK);
    EXPECT_EQ(second.TryConnect(), CONNECT_E_ADVISELIMIT);
    for (const TEventDriver* refused : {&noSource, &noContainer, &noPoint, &second})
        EXPECT_FALSE(refused->Connected());
    EXPECT_EQ(driver.DriverSinkCount(), 1u);
    EXPECT_THROW(second.Connect(), ESearchError);
}

// The automation object itself raises a received command on IPageEvents first, then on IDriverEvents, and
// takes one sink on each.
TEST(EventDriver, TheAutomationObjectReachesASinkOnEachOfItsPoints) {
    tessel::ComPtr<TTesselDrv> object;
    object.Attach(new TTesselDrv());
    const tessel::ComPtr<IUnknown> unknown(static_cast<ITesselDriver*>(object.Get()));

    std::vector<std::string> heard;
    TEventDriver page(unknown, DIID_IPageEvents,
                      [&heard](std::int32_t id) { heard.push_back("page " + std::to_string(id)); });
    TEventDriver client(unknown, DIID_IDriverEvents,
                        [&heard](std::int32_t id) { heard.push_back("driver " + std::to_string(id)); });
    ASSERT_EQ(client.TryConnect(), S_OK);
    page.Connect();
    TEventDriver another(unknown, DIID_IDriverEvents, [](std::int32_t) {});
    EXPECT_EQ(another.TryConnect(), CONNECT_E_ADVISELIMIT);

    object->FireCommand(31);
    EXPECT_EQ(heard, (std::vector<std::string>{"page 31", "driver 31"}));

    // Once disconnected, the point is free for the next sink and the old one hears nothing.
    client.Disconnect();
    EXPECT_EQ(another.TryConnect(), S_OK);
    object->FireCommand(32);
    EXPECT_EQ(heard, (std::vector<std::string>{"page 31", "driver 31", "page 32"}));
}

}  // namespace
