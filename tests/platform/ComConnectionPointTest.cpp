#include <gtest/gtest.h>

#include "ComTestObjects.h"
#include "common/com/ConnectionPoint.h"

using namespace tessel;

namespace {

const IID kEvents = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

// A container holding one point for kEvents; counts references like the other test objects.
class Container : public IConnectionPointContainer {
  public:
    explicit Container(ULONG limit = 0) : point(*this, kEvents, limit) {}
    ULONG refs = 1;
    ConnectionPoint point;

    STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override {
        if (riid != kEvents) return CONNECT_E_NOCONNECTION;
        return point.QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(ppCP));
    }
};

TEST(ConnectionPoint, AdviseHoldsSinksUntilUnadvise) {
    comtest::CountedDispatch a(0, {kEvents}), b(0, {kEvents});
    {
        Container c;
        DWORD ca = 0, cb = 0;
        ASSERT_EQ(c.point.Advise(&a, &ca), S_OK);
        ASSERT_EQ(c.point.Advise(&b, &cb), S_OK);
        EXPECT_EQ(ca, 1u);
        EXPECT_EQ(cb, 2u);
        EXPECT_EQ(a.refs, 2u);
        EXPECT_EQ(c.point.Count(), 2u);

        auto sinks = c.point.Sinks();
        ASSERT_EQ(sinks.size(), 2u);
        EXPECT_EQ(sinks[0].Get(), static_cast<IUnknown*>(&a));
        sinks.clear();

        EXPECT_EQ(c.point.Unadvise(ca), S_OK);
        EXPECT_EQ(a.refs, 1u);
        EXPECT_EQ(c.point.Unadvise(ca), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(c.point.Unadvise(77), CONNECT_E_NOCONNECTION);
        // A later advice never gets an old cookie back.
        ASSERT_EQ(c.point.Advise(&a, &ca), S_OK);
        EXPECT_EQ(ca, 3u);
    }
    // The point releases what it still holds when it goes.
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 1u);
}

TEST(ConnectionPoint, RefusesSinksWithoutTheInterfaceAndBeyondTheLimit) {
    // Sinks first: the point releases what it holds when the container goes.
    comtest::CountedDispatch plain, sink(0, {kEvents}), another(0, {kEvents});
    Container c(1);
    DWORD cookie = 99;
    EXPECT_EQ(c.point.Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(plain.refs, 1u);
    EXPECT_EQ(c.point.Advise(nullptr, &cookie), E_POINTER);
    ASSERT_EQ(c.point.Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(c.point.Advise(&another, &cookie), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(another.refs, 1u);
}

TEST(ConnectionPoint, ReferencesGoToTheContainerAndInterfacesAreReported) {
    Container c;
    IConnectionPoint* cp = nullptr;
    ASSERT_EQ(c.FindConnectionPoint(kEvents, &cp), S_OK);
    EXPECT_EQ(c.refs, 2u);
    IID iid{};
    ASSERT_EQ(cp->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, kEvents);
    IConnectionPointContainer* back = nullptr;
    ASSERT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back, &c);
    back->Release();
    cp->Release();
    EXPECT_EQ(c.refs, 1u);
}

TEST(ConnectionPoint, EnumerationIsASnapshotThatHandsOutReferences) {
    comtest::CountedDispatch a(0, {kEvents}), b(0, {kEvents});
    Container c;
    DWORD ca = 0, cb = 0;
    c.point.Advise(&a, &ca);
    c.point.Advise(&b, &cb);
    IEnumConnections* e = nullptr;
    ASSERT_EQ(c.point.EnumConnections(&e), S_OK);
    c.point.Unadvise(cb);  // the snapshot still holds b
    EXPECT_EQ(b.refs, 2u);

    CONNECTDATA data[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, ca);
    EXPECT_EQ(data[1].pUnk, static_cast<IUnknown*>(&b));
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

    IEnumConnections* clone = nullptr;
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, cb);
    data[0].pUnk->Release();
    EXPECT_EQ(clone->Skip(1), S_FALSE);
    clone->Release();
    e->Release();
    EXPECT_EQ(a.refs, 2u);  // still advised
    EXPECT_EQ(b.refs, 1u);
}

}  // namespace
