#pragma once
// Tole1C: the class registered for the coclass TesselDriver. On top of the language extension it serves
// IInitDone, through which 1C:Enterprise initialises the component and hands over its IAsyncEvent, and it
// passes every received command to that host as an external event after the automation events.

#include <mutex>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "driver/automation/oleAddin.h"

class Tole1C : public ToleAddin, public IInitDone {
  public:
    // Source and message of the host event that announces a received command; its data is the CommandID
    // in decimal.
    static constexpr const char* EventSource = "ДрайверККМ";
    static constexpr const char* EventMessage = "ИдентификаторКоманды";
    // The log line that names a failed host event.
    static constexpr const char* EventErrorStep = "Ошибка при отправке события в 1С.";
    // How many events the host keeps for the configuration while its thread is busy. The host's buffer
    // starts at one event and drops what does not fit; each event is a register's request that waits for an
    // answer, so Init enlarges a smaller buffer to this depth.
    static constexpr LONG EventBufferDepth = 100;
    // The log line that names a host that refused the larger buffer.
    static constexpr const char* BufferErrorStep = "Ошибка при увеличении буфера событий 1С.";

    // Throws what ToleAddin throws.
    Tole1C();
    ~Tole1C() override;

    // Creates an object for the class factory and hands out its `riid` interface in *ppv. E_POINTER for a
    // null ppv; E_OUTOFMEMORY or E_FAIL (with *ppv null) when the object cannot be made; the
    // QueryInterface result otherwise, the object then freed if it lacks `riid`. Never throws.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    // IUnknown: what ToleAddin serves, and IInitDone.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IInitDone.
    // Marks the object as a 1C client (for good); a given connection is asked for IAsyncEvent, whose
    // answer (empty if the host lacks it) replaces the one kept, its event buffer enlarged to
    // EventBufferDepth when smaller (a refusal is logged in three lines). Always S_OK.
    STDMETHOD(Init)(IDispatch* pConnection) override;
    // Releases the kept IAsyncEvent; the object stays a 1C client. S_OK.
    STDMETHOD(Done)() override;
    // Element 0 of the host's array becomes the text "1000", the component technology version this
    // component follows. S_OK; E_POINTER for a missing array, or the array's own failure.
    STDMETHOD(GetInfo)(SAFEARRAY** pInfo) override;

    // The automation events of TTesselDrv, then the host's external event, if a host gave its IAsyncEvent.
    // A failure of the host's call is logged in three lines and goes no further. Engine thread.
    void FireCommand(std::int32_t commandID) override;

  private:
    void SendExternalEvent(std::int32_t commandID);
    void EnlargeEventBuffer(IAsyncEvent& host);

    // Init and Done come on the host's thread, events on the engine's, which need not be the same.
    std::mutex hostLock_;
    tessel::ComPtr<IAsyncEvent> asyncEvent_;
};
