#pragma once
// TNativeDriver: the object the platform creates through the library's exports. It offers the driver's own
// properties and methods under their English and Russian names and carries every call to a driver object of
// its own through that object's dispatch, so values, results and errors are those of the automation
// interface: a driver failure stays in ResultCode and the call itself succeeds. What the dispatch refuses (a
// value of the wrong kind, a read-only property) is told to the platform through AddError, which raises it
// in the calling script, and the call answers false.
//
// The platform calls every member on its own thread. The driver object is made by Init (with the component's
// driver thread, see DriverThread.h) and released by Done; a call before Init or after Done answers false.
// Register requests reach the platform as its external event ("ДрайверККМ", "ИдентификаторКоманды",
// CommandID), sent from the driver thread.

#include <memory>
#include <string>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/untAddin.h"
#include "driver/native1c/DriverThread.h"
#include "driver/native1c/HostConnection.h"
#include "driver/native1c/NativeApi.h"

class TNativeDriver final : public IComponentBase {
  public:
    // The name of the object's class, as GetClassNames lists it and GetClassObject takes it.
    static constexpr const char* ClassName = "TesselDriver";
    // The source of the messages the object gives through AddError.
    static constexpr const char* ErrorSource = "Драйвер ККМ";

    // Lists the members; makes no driver object yet. Throws std::bad_alloc when memory runs out.
    TNativeDriver();
    // Ends the session as Done does, if the platform has not.
    ~TNativeDriver() override;

    // IInitDoneBase.
    // Keeps the connection, makes the driver object (the component's driver thread first) and hands it the
    // connection as its 1C host: the object becomes a 1C client and enlarges the connection's event buffer.
    // False, with the failure told through AddError, when the driver object cannot be made.
    bool ADDIN_API Init(void* connection) override;
    bool ADDIN_API setMemManager(void* memoryManager) override;
    // 2000: the technology's version 2.0.
    long ADDIN_API GetInfo() override;
    // Stops the external events (none reaches the connection after it returns) and releases the driver
    // object; the last component object stops the driver thread.
    void ADDIN_API Done() override;

    // ILanguageExtenderBase. Numbers outside a list answer -1, null or false.
    bool ADDIN_API RegisterExtensionAs(WCHAR_T** extensionName) override;
    long ADDIN_API GetNProps() override;
    long ADDIN_API FindProp(const WCHAR_T* propName) override;
    const WCHAR_T* ADDIN_API GetPropName(long propNum, long alias) override;
    bool ADDIN_API GetPropVal(const long propNum, tVariant* value) override;
    bool ADDIN_API SetPropVal(const long propNum, tVariant* value) override;
    bool ADDIN_API IsPropReadable(const long propNum) override;
    bool ADDIN_API IsPropWritable(const long propNum) override;
    long ADDIN_API GetNMethods() override;
    long ADDIN_API FindMethod(const WCHAR_T* methodName) override;
    const WCHAR_T* ADDIN_API GetMethodName(const long methodNum, const long alias) override;
    // The driver's methods take no parameters: 0.
    long ADDIN_API GetNParams(const long methodNum) override;
    bool ADDIN_API GetParamDefValue(const long methodNum, const long paramNum, tVariant* value) override;
    // True for a method that yields its result code (every one but AboutBox).
    bool ADDIN_API HasRetVal(const long methodNum) override;
    bool ADDIN_API CallAsProc(const long methodNum, tVariant* params, const long count) override;
    bool ADDIN_API CallAsFunc(const long methodNum, tVariant* result, tVariant* params,
                              const long count) override;

    // LocaleBase: names come in both languages and the driver's texts are its own; nothing changes.
    void ADDIN_API SetLocale(const WCHAR_T* locale) override;

  private:
    // One dispatch call on the driver object; the failure is told to the platform.
    bool Invoke(const TAddinItem& item, WORD flags, DISPPARAMS& params, VARIANT* result);
    // A value for the platform; a failure is told to it.
    bool Answer(const TAddinItem& item, const VARIANT& value, tVariant& out);
    // Tells the platform of a failure: the message raises an error in the calling script.
    void Report(const std::string& message, long code);
    const WCHAR_T* Name(const TAddinItems& items, long index, long alias);
    void EndSession();

    TAddinItems props_;
    TAddinItems methods_;
    IAddInDefBase* connection_ = nullptr;
    IMemoryManager* memory_ = nullptr;
    std::unique_ptr<TDriverThreadLease> thread_;
    tessel::ComPtr<ITesselDriver3> driver_;
    tessel::ComPtr<IInitDone> driverInit_;
    tessel::ComPtr<THostConnection> host_;
};
