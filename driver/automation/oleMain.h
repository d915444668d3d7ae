#pragma once
// TTesselDrv: the automation object a client gets for the coclass TesselDriver. It serves ITesselDriver3
// (and so ITesselDriver2 and ITesselDriver), IDispatch derived from the member lists, and a connection-point
// container with IPageEvents and IDriverEvents (one sink each). It holds almost no state: every member is
// carried out by the process's one engine, reached through the object's driver link.
//
// Every member returns S_OK (E_POINTER only for a null out-parameter): failures are left in ResultCode and
// ResultDescription. Methods yield the result code; a property whose work fails leaves its out-value as it
// was, except string getters, which yield an empty string.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/com/ComInterfaces.h"
#include "common/com/ConnectionPoint.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/untDispatch.h"
#include "driver/automation/untDrvLink.h"

// Overrides of one member's slots.
#define TESSEL_DECLARE_OVERRIDE(dispId, Name, name1C, Kind, Type, Width, ...) \
    TESSEL_SLOTS_KIND_##Kind(Name, Type, override)

class TTesselDrv : public ITesselDriver3, public IConnectionPointContainer, private TMemberCalls {
  public:
    // Joins the driver links (the first object creates the engine on the calling thread, which becomes the
    // thread on which every event is raised) and creates the two connection points; events reach the object
    // from the end of its constructor on. The object starts with one reference. Throws when the engine cannot
    // be created.
    TTesselDrv();
    virtual ~TTesselDrv();
    TTesselDrv(const TTesselDrv&) = delete;
    TTesselDrv& operator=(const TTesselDrv&) = delete;

    // IUnknown: IUnknown, IDispatch, the three driver interfaces and IConnectionPointContainer.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDispatch, derived from the member lists: names in English or Russian without regard to case,
    // DISPIDs of the lists, type information of ITesselDriver3.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // ITesselDriver, ITesselDriver2, ITesselDriver3.
    TESSEL_MEMBERS_ITesselDriver(TESSEL_DECLARE_OVERRIDE)
        TESSEL_MEMBERS_ITesselDriver2(TESSEL_DECLARE_OVERRIDE)
            TESSEL_MEMBERS_ITesselDriver3(TESSEL_DECLARE_OVERRIDE)

        // IConnectionPointContainer: IPageEvents, then IDriverEvents.
        STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) override;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override;

    // Raises the events of one received command: IPageEvents.Command, then IDriverEvents.Command. A sink
    // that fails is logged in three lines and the other still gets the event. Engine thread.
    virtual void FireCommand(std::int32_t commandID);

    // The shared engine.
    TEcrDrv& Engine() const { return link_->Engine(); }
    // Set by the 1C:Enterprise initialisation; stays set for the life of the object.
    void SetIsClient1C(bool value) { isClient1C_ = value; }

    // Objects alive in this process (for DllCanUnloadNow).
    static LONG LiveObjects();

  protected:
    // For derived classes, whose constructors end with ListenToCommands: no event may reach an object (nor
    // call its overrides) before its most derived constructor has ended.
    struct TDeferEvents {};
    explicit TTesselDrv(TDeferEvents);
    void ListenToCommands();

    // Raises Command(commandID) on the sinks of one point; a failure is logged under `step`.
    void FireOn(tessel::ConnectionPoint& point, std::int32_t commandID, const char* step);

  private:
    // The rows of the member lists reach the object's own values and functions.
    friend struct TMemberAccess;

    // TMemberCalls: the one generic get, put and call of a member, by its row in TesselMembers. Every member
    // runs under the object-level guard: an error goes to ResultCode, never to the caller.
    HRESULT GetMember(std::size_t row, VARIANT& value) override;
    HRESULT PutMember(std::size_t row, const VARIANT& value) override;
    HRESULT CallMember(std::size_t row, LONG* value) override;
    template <typename Work>
    HRESULT Guard(Work&& work);
    // The vtable slots of each C type.
    template <typename T>
    HRESULT GetSlot(std::size_t row, T* value);
    template <typename T>
    HRESULT PutSlot(std::size_t row, T value);

    // What the rows of the object itself call. The Show* members and AboutBox show the dialog `name` of
    // the dialogs module, or fail with -199 while that module is not installed; ShowDialog returns the
    // dialog's answer: 1 closed with OK, 0 otherwise.
    int ShowDialog(const char* name);
    std::int32_t ShowAbout();
    std::int32_t ShowModalDialog(const char* name);
    std::int32_t ShowSearchDialog();
    std::int32_t ShowPropertyPage();
    std::int32_t RestoreDefaults();
    // The file version of the driver library (Version).
    std::string FileVersion() const;
    // A reference for one event, unless the last one is gone already (the object is being destroyed).
    bool RetainForEvent();

    std::atomic<ULONG> refCount_{1};
    std::unique_ptr<TDrvLink> link_;
    LONG parentWnd_ = 0;
    bool isClient1C_ = false;
    bool lockDevices_ = false;
    bool isShowProperties_ = false;
    std::unique_ptr<tessel::ConnectionPoint> pageEvents_;
    std::unique_ptr<tessel::ConnectionPoint> driverEvents_;
};
