// The 1C:Enterprise adapter: the member lists, ILanguageExtender over the object's own dispatch, IInitDone
// and the host's external event.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/ole1C.h"
#include "driver/automation/untAddin.h"
#include "support/AddinFixture.h"
#include "support/ComSinks.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using tessel::ComPtr;
using tessel_test::Advise;
using tessel_test::Unadvise;

constexpr LONG kMinLong = std::numeric_limits<LONG>::min();
constexpr LONG kMaxLong = std::numeric_limits<LONG>::max();

// ---- A type information of our own making, to check the list builder step by step ----

struct FakeFunc {
    MEMBERID memid;
    INVOKEKIND invkind;
    VARTYPE vt;                          // the function's own type
    std::optional<VARTYPE> retval = {};  // vtable form: the value behind an [out, retval] pointer
    WORD flags = 0;
    const char* name = "";
    const char* help = "";
};

class FakeTypeInfo final : public ITypeInfo {
  public:
    explicit FakeTypeInfo(std::vector<FakeFunc> funcs) : funcs_(std::move(funcs)) {}

    int outstandingAttrs = 0;
    int outstandingDescs = 0;
    std::optional<UINT> failAt;  // GetFuncDesc of this index fails

    STDMETHOD(QueryInterface)(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetTypeAttr)(TYPEATTR** out) override {
        auto attr = std::make_unique<TYPEATTR>();
        attr->typekind = TKIND_DISPATCH;
        attr->cFuncs = static_cast<WORD>(funcs_.size());
        *out = attr.release();
        ++outstandingAttrs;
        return S_OK;
    }
    STDMETHOD(GetTypeComp)(ITypeComp**) override { return E_NOTIMPL; }
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** out) override {
        *out = nullptr;
        if (failAt && *failAt == index) return E_UNEXPECTED;
        if (index >= funcs_.size()) return TYPE_E_ELEMENTNOTFOUND;
        const FakeFunc& f = funcs_[index];
        auto held = std::make_unique<Held>();
        held->desc.memid = f.memid;
        held->desc.invkind = f.invkind;
        held->desc.funckind = FUNC_DISPATCH;
        held->desc.wFuncFlags = f.flags;
        held->desc.elemdescFunc.tdesc.vt = f.vt;
        if (f.retval) {
            held->pointee.vt = *f.retval;
            held->param.tdesc.vt = VT_PTR;
            held->param.tdesc.lptdesc = &held->pointee;
            held->param.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
            held->desc.cParams = 1;
            held->desc.lprgelemdescParam = &held->param;
        }
        // The description is the first member, so the pointer handed out frees the whole record.
        *out = &held.release()->desc;
        ++outstandingDescs;
        return S_OK;
    }
    STDMETHOD(GetVarDesc)(UINT, VARDESC**) override { return E_NOTIMPL; }
    STDMETHOD(GetNames)(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetRefTypeOfImplType)(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    STDMETHOD(GetImplTypeFlags)(UINT, INT*) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* name, BSTR* doc, DWORD*, BSTR*) override {
        for (const FakeFunc& f : funcs_) {
            if (f.memid != memid) continue;
            if (name != nullptr) *name = tessel::Utf8ToBstr(f.name).release();
            if (doc != nullptr) *doc = tessel::Utf8ToBstr(f.help).release();
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetDllEntry)(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    STDMETHOD(GetRefTypeInfo)(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(AddressOfMember)(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    STDMETHOD(GetMops)(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(GetContainingTypeLib)(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* attr) override {
        std::unique_ptr<TYPEATTR> gone(attr);
        --outstandingAttrs;
    }
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* desc) override {
        std::unique_ptr<Held> gone(reinterpret_cast<Held*>(desc));
        --outstandingDescs;
    }
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC*) override {}

  private:
    struct Held {
        FUNCDESC desc{};
        ELEMDESC param{};
        TYPEDESC pointee{};
    };
    std::vector<FakeFunc> funcs_;
};

// One line per item: DISPID, names, and for a property its access and value type.
std::vector<std::string> Describe(const TAddinItems& items) {
    std::vector<std::string> lines;
    for (LONG i = 0; i < static_cast<LONG>(items.Count()); ++i) {
        const TAddinItem& item = *items.Get(i);
        std::string line = std::to_string(item.DispID) + " " + item.Name + " " + item.Alias;
        if (item.Readable)
            line += std::string(" r") + (item.Writable ? "w " : " ") + std::to_string(item.VarType);
        lines.push_back(line);
    }
    return lines;
}

TEST(AddinItems, BuiltFromTypeInformationInItsOrder) {
    FakeTypeInfo info({
        {1, INVOKE_FUNC, VT_HRESULT, {}, FUNCFLAG_FRESTRICTED, "QueryInterface", ""},
        {20, INVOKE_PROPERTYPUT, VT_VOID, {}, 0, "Orphan", "Сирота"},  // no getter before it
        {10, INVOKE_PROPERTYGET, VT_I4, {}, 0, "Timeout", "Таймаут"},
        {10, INVOKE_PROPERTYPUT, VT_VOID, {}, 0, "Timeout", "Таймаут"},
        {11, INVOKE_PROPERTYGET, VT_HRESULT, VT_BOOL, 0, "Fuel", "Бензиновая"},  // vtable form
        {12, INVOKE_PROPERTYGET, VT_BSTR, {}, 0, "Version", "Версия"},
        {13, INVOKE_FUNC, VT_I4, {}, 0, "Beep", "Гудок"},
        {14, INVOKE_PROPERTYGET, VT_DISPATCH, {}, 0, "Font", "Шрифт"},
        {14, INVOKE_PROPERTYPUTREF, VT_VOID, {}, 0, "Font", "Шрифт"},
        {-552, INVOKE_FUNC, VT_VOID, {}, 0, "AboutBox", "ОПрограмме"},
    });
    TAddinItems props;
    TAddinItems methods;
    props.Add(99, "Stale", "Старое");  // emptied first
    ASSERT_EQ(BuildAddinItems(info, props, methods), S_OK);
    EXPECT_EQ(info.outstandingAttrs, 0);
    EXPECT_EQ(info.outstandingDescs, 0);

    EXPECT_EQ(Describe(props), (std::vector<std::string>{"10 Timeout Таймаут rw 3", "11 Fuel Бензиновая r 11",
                                                         "12 Version Версия r 8", "14 Font Шрифт rw 9"}));
    EXPECT_EQ(Describe(methods), (std::vector<std::string>{"13 Beep Гудок", "-552 AboutBox ОПрограмме"}));
    EXPECT_EQ(&props.Get(3)->Owner(), &props);
    EXPECT_EQ(&methods.Get(1)->Owner(), &methods);
}

TEST(AddinItems, FailingTypeInformationReleasesWhatItGave) {
    FakeTypeInfo info({{1, INVOKE_FUNC, VT_I4, {}, 0, "A", "А"},
                       {2, INVOKE_FUNC, VT_I4, {}, 0, "B", "Б"},
                       {3, INVOKE_FUNC, VT_I4, {}, 0, "C", "В"}});
    info.failAt = 2;
    TAddinItems props;
    TAddinItems methods;
    EXPECT_EQ(BuildAddinItems(info, props, methods), E_UNEXPECTED);
    EXPECT_EQ(info.outstandingAttrs, 0);
    EXPECT_EQ(info.outstandingDescs, 0);
    EXPECT_EQ(methods.Count(), 2u);
}

// ---- The adapter on a live object ----

using tessel_test::HostSink;

class Addin : public tessel_test::AddinFixture {
  protected:
    void SetUp() override {
        AddinFixture::SetUp();
        object_ = dynamic_cast<Tole1C*>(init_.Get());
        ASSERT_NE(object_, nullptr);
    }
    void TearDown() override {
        object_ = nullptr;
        AddinFixture::TearDown();
    }

    std::string PropName(LONG index, LONG alias) {
        BSTR name = nullptr;
        ext_->GetPropName(index, alias, &name);
        tessel::UniqueBstr held(name);
        return tessel::BstrToUtf8(name);
    }
    std::string MethodName(LONG index, LONG alias) {
        BSTR name = nullptr;
        ext_->GetMethodName(index, alias, &name);
        tessel::UniqueBstr held(name);
        return tessel::BstrToUtf8(name);
    }
    std::string LogText() const {
        std::ifstream in(log_.File("driver.log"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void EnableLog() {
        object_->Engine().SetLogFileName(log_.File("driver.log"));
        object_->Engine().SetLogEnabled(true);
    }

    // Sinks and hosts outlive the object, which may still hold them when a test ends early.
    HostSink& MakePeer(const char* label, bool offersEvents = false) {
        return *peers_.emplace_back(std::make_unique<HostSink>(&journal_, offersEvents, label));
    }
    HostSink& MakeHost(bool offersEvents) { return MakePeer("host", offersEvents); }

    TempDir log_;
    // Port 1, the default, leads nowhere: no test here touches a serial port of the machine.
    tessel_test::ScopedEnv port_{tessel_test::PortVariable(1), log_.File("no-port")};
    std::vector<std::string> journal_;  // what sinks and hosts heard, in order
    std::vector<std::unique_ptr<HostSink>> peers_;
    Tole1C* object_ = nullptr;
};

TEST_F(Addin, OneObjectServesEveryInterface) {
    ComPtr<IUnknown> fromExt;
    ComPtr<IUnknown> fromInit;
    ComPtr<ITesselDriver3> driver;
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(ext_.As(IID_IUnknown, fromExt), S_OK);
    ASSERT_EQ(init_.As(IID_IUnknown, fromInit), S_OK);
    EXPECT_EQ(fromExt.Get(), fromInit.Get());
    EXPECT_EQ(ext_.As(IID_ITesselDriver3, driver), S_OK);
    EXPECT_EQ(init_.As(IID_IConnectionPointContainer, points), S_OK);
    ComPtr<ILanguageExtender> back;
    EXPECT_EQ(driver.As(IID_ILanguageExtender, back), S_OK);
    EXPECT_EQ(back.Get(), ext_.Get());
    ComPtr<IInitDone> none;
    EXPECT_EQ(driver.As(IID_IAsyncEvent, none), E_NOINTERFACE);
    EXPECT_FALSE(none);
}

TEST_F(Addin, CreationFailsCleanly) {
    const LONG live = TTesselDrv::LiveObjects();
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Tole1C::CreateInstance(IID_IAsyncEvent, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(TTesselDrv::LiveObjects(), live) << "the refused object is freed";
    EXPECT_EQ(Tole1C::CreateInstance(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(Addin, ListsHoldEveryMemberOnce) {
    LONG nProps = 0;
    LONG nMethods = 0;
    ASSERT_EQ(ext_->GetNProps(&nProps), S_OK);
    ASSERT_EQ(ext_->GetNMethods(&nMethods), S_OK);
    LONG prop = 0;
    LONG method = 0;
    for (const TTesselMember& m : TesselMembers) {
        if (m.kind == TMemberKind::Method) {
            ASSERT_LT(method, nMethods);
            EXPECT_EQ(MethodName(method, 0), m.name);
            EXPECT_EQ(MethodName(method, 1), m.name1C);
            LONG params = -1;
            EXPECT_EQ(ext_->GetNParams(method, &params), S_OK);
            EXPECT_EQ(params, 0);
            ++method;
            continue;
        }
        ASSERT_LT(prop, nProps);
        const TAddinItem& item = *object_->Props().Get(prop);
        EXPECT_EQ(item.DispID, m.dispId);
        EXPECT_EQ(item.VarType, TesselVarType(m.type)) << m.name;
        EXPECT_EQ(PropName(prop, 0), m.name);
        EXPECT_EQ(PropName(prop, 7), m.name1C) << "any non-zero alias flag";
        BOOL readable = FALSE;
        BOOL writable = TRUE;
        EXPECT_EQ(ext_->IsPropReadable(prop, &readable), S_OK);
        EXPECT_EQ(ext_->IsPropWritable(prop, &writable), S_OK);
        EXPECT_EQ(readable, TRUE) << m.name;
        EXPECT_EQ(writable, m.HasSetter() ? TRUE : FALSE) << m.name;
        ++prop;
    }
    EXPECT_EQ(prop, nProps);
    EXPECT_EQ(method, nMethods);
    EXPECT_EQ(MethodName(0, 0), "AboutBox");
}

// Every spelling of a member a configuration may use finds the same item.
struct NameCase {
    const char* name;
    const char* english;
    bool method;
};
class AddinNames : public Addin, public ::testing::WithParamInterface<NameCase> {};

TEST_P(AddinNames, FindsTheMemberByEitherNameWithoutCase) {
    const NameCase& c = GetParam();
    LONG index = -2;
    LONG expected = -2;
    const tessel::UniqueBstr name = tessel::Utf8ToBstr(c.name);
    const tessel::UniqueBstr english = tessel::Utf8ToBstr(c.english);
    if (c.method) {
        ASSERT_EQ(ext_->FindMethod(english.get(), &expected), S_OK);
        ASSERT_EQ(ext_->FindMethod(name.get(), &index), S_OK);
        EXPECT_EQ(MethodName(index, 0), c.english);
    } else {
        ASSERT_EQ(ext_->FindProp(english.get(), &expected), S_OK);
        ASSERT_EQ(ext_->FindProp(name.get(), &index), S_OK);
        EXPECT_EQ(PropName(index, 0), c.english);
    }
    EXPECT_EQ(index, expected);
}

INSTANTIATE_TEST_SUITE_P(Spellings, AddinNames,
                         ::testing::Values(NameCase{"ПолучитьСостояниеККМ", "GetECRStatus", true},
                                           NameCase{"getecrstatus", "GetECRStatus", true},
                                           NameCase{"получитьсостояниеККМ", "GetECRStatus", true},
                                           NameCase{"опрограмме", "AboutBox", true},
                                           NameCase{"ПЕРЕДАТЬКАДР", "SendCadr", true},
                                           NameCase{"сумма", "Summ", false},
                                           NameCase{"RESULTCODE", "ResultCode", false},
                                           NameCase{"ФлагВыполненияКоманды", "CommandExecuteFlag", false}));

TEST_F(Addin, UnknownNamesAreNotFound) {
    // A method is no property and a property no method.
    for (const char* name : {"НетТакого", "Beep", "Гудок", "", "Summ "}) {
        LONG index = 5;
        EXPECT_EQ(ext_->FindProp(tessel::Utf8ToBstr(name).get(), &index), S_FALSE) << name;
        EXPECT_EQ(index, -1);
    }
    for (const char* name : {"Timeout", "Таймаут", "GetECRStatusX"}) {
        LONG index = 5;
        EXPECT_EQ(ext_->FindMethod(tessel::Utf8ToBstr(name).get(), &index), S_FALSE) << name;
        EXPECT_EQ(index, -1);
    }
    LONG index = 5;
    EXPECT_EQ(ext_->FindProp(nullptr, &index), S_FALSE) << "a null name is the empty name";
    EXPECT_EQ(index, -1);
}

TEST_F(Addin, WritableFollowsTheSetter) {
    BOOL flag = TRUE;
    EXPECT_EQ(ext_->IsPropWritable(Prop("ResultCode"), &flag), S_OK);
    EXPECT_EQ(flag, FALSE);
    EXPECT_EQ(ext_->IsPropWritable(Prop("Timeout"), &flag), S_OK);
    EXPECT_EQ(flag, TRUE);
    EXPECT_EQ(ext_->IsPropReadable(Prop("ResultCode"), &flag), S_OK);
    EXPECT_EQ(flag, TRUE);
}

TEST_F(Addin, IndicesOutsideTheListsTouchNothing) {
    LONG nProps = 0;
    LONG nMethods = 0;
    ext_->GetNProps(&nProps);
    ext_->GetNMethods(&nMethods);
    ASSERT_EQ(SetLong("Timeout", 777), S_OK);
    const LONG timeout = GetLong("Timeout");
    for (LONG bad : {LONG{-1}, LONG{-2}, kMinLong, kMaxLong}) {
        for (LONG index : {bad, bad == -1 ? nProps : bad}) {
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_I4;
            v.lVal = 12345;
            EXPECT_EQ(ext_->GetPropVal(index, &v), S_FALSE) << index;
            EXPECT_EQ(v.vt, VT_I4);
            EXPECT_EQ(v.lVal, 12345);
            EXPECT_EQ(ext_->SetPropVal(index, &v), S_FALSE) << index;
            BOOL flag = TRUE;
            EXPECT_EQ(ext_->IsPropReadable(index, &flag), S_FALSE);
            EXPECT_EQ(flag, FALSE);
            flag = TRUE;
            EXPECT_EQ(ext_->IsPropWritable(index, &flag), S_FALSE);
            EXPECT_EQ(flag, FALSE);
            EXPECT_EQ(PropName(index, 0), "");
            BSTR name = nullptr;
            EXPECT_EQ(ext_->GetPropName(index, 1, &name), S_FALSE);
            SysFreeString(name);
        }
        for (LONG index : {bad, bad == -1 ? nMethods : bad}) {
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_I4;
            v.lVal = 12345;
            EXPECT_EQ(ext_->CallAsFunc(index, &v, nullptr), S_FALSE) << index;
            EXPECT_EQ(v.vt, VT_I4);
            EXPECT_EQ(v.lVal, 12345);
            EXPECT_EQ(ext_->CallAsProc(index, nullptr), S_FALSE) << index;
            LONG params = 9;
            EXPECT_EQ(ext_->GetNParams(index, &params), S_FALSE);
            EXPECT_EQ(MethodName(index, 1), "");
        }
    }
    EXPECT_EQ(GetLong("Timeout"), timeout);
}

TEST_F(Addin, FixedAnswers) {
    BSTR name = nullptr;
    ASSERT_EQ(ext_->RegisterExtensionAs(&name), S_OK);
    EXPECT_EQ(tessel::BstrToUtf8(name), "TesselDriver");
    SysFreeString(name);
    for (LONG index : {LONG{0}, LONG{-1}, kMaxLong}) {
        BOOL ret = FALSE;
        EXPECT_EQ(ext_->HasRetVal(index, &ret), S_OK);
        EXPECT_EQ(ret, TRUE);
    }
    VARIANT def;
    VariantInit(&def);
    def.vt = VT_BSTR;
    def.bstrVal = tessel::Utf8ToBstr("остаток").release();
    EXPECT_EQ(ext_->GetParamDefValue(0, 0, &def), S_OK);
    EXPECT_EQ(def.vt, VT_EMPTY) << "cleared, the text freed";
}

// Values written and read back as the host sees them.
struct ValueCase {
    const char* prop;
    VARIANT in;
    VARTYPE outType;
    double out;  // the number read back (VT_I4 or VT_R8)
};
VARIANT Var(VARTYPE vt, double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    switch (vt) {
        case VT_I4:
            v.lVal = static_cast<LONG>(value);
            break;
        case VT_R8:
            v.dblVal = value;
            break;
        case VT_BOOL:
            v.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_CY:
            v.cyVal.int64 = static_cast<LONGLONG>(value * 10000);
            break;
        default:
            break;
    }
    return v;
}
void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.prop << " <- type " << c.in.vt;
}
class AddinValues : public Addin, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(AddinValues, ReadBackInTheHostsTypes) {
    const ValueCase& c = GetParam();
    VARIANT in = c.in;
    ASSERT_EQ(ext_->SetPropVal(Prop(c.prop), &in), S_OK) << c.prop;
    EXPECT_EQ(GetLong("ResultCode"), 0) << c.prop;
    VARIANT out = Get(c.prop);
    ASSERT_EQ(out.vt, c.outType) << c.prop;
    EXPECT_DOUBLE_EQ(c.outType == VT_I4 ? out.lVal : out.dblVal, c.out) << c.prop;
}

INSTANTIATE_TEST_SUITE_P(Types, AddinValues,
                         ::testing::Values(ValueCase{"Summ", Var(VT_R8, 12.34), VT_R8, 12.34},
                                           ValueCase{"Цена", Var(VT_CY, 0.5), VT_R8, 0.5},
                                           ValueCase{"CashRegister", Var(VT_I4, -7), VT_R8, -7},
                                           ValueCase{"WaitAnswer", Var(VT_BOOL, 1), VT_I4, 1},
                                           ValueCase{"WaitAnswer", Var(VT_I4, 0), VT_I4, 0},
                                           ValueCase{"ИННВведен", Var(VT_I4, 1), VT_I4, 1},
                                           ValueCase{"Timeout", Var(VT_R8, 250), VT_I4, 250},
                                           ValueCase{"ECRDay", Var(VT_I4, 300), VT_I4, 44},
                                           ValueCase{"Quantity", Var(VT_R8, 1.5), VT_R8, 1.5}));

TEST_F(Addin, ReadingClearsWhatTheValueHeld) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = tessel::Utf8ToBstr("прежнее значение").release();
    ASSERT_EQ(ext_->GetPropVal(Prop("Timeout"), &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4) << "the old text freed (a leak shows under ASan)";
    v.vt = VT_BSTR;
    v.bstrVal = tessel::Utf8ToBstr("прежнее значение").release();
    ASSERT_EQ(ext_->CallAsFunc(Method("SetDefaults"), &v, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
}

TEST_F(Addin, ErrorsStayInResultCode) {
    // The object turns a refused value into the result; the host's call succeeds.
    EXPECT_EQ(SetLong("LDNumber", 0), S_OK);
    EXPECT_EQ(GetLong("ResultCode"), -6);
    VARIANT d = Get("ОписаниеРезультата");
    ASSERT_EQ(d.vt, VT_BSTR);
    EXPECT_EQ(tessel::BstrToUtf8(d.bstrVal), "Недопустимое значение");
    VariantClear(&d);
    // A read-only property has no setter to call: the dispatch refusal reaches the host unchanged.
    EXPECT_EQ(SetLong("ResultCode", 5), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Addin, MethodsYieldTheirResultCode) {
    EXPECT_EQ(GetLong("ПортОткрыт"), 0);
    ASSERT_EQ(SetLong("RepCount", 1), S_OK);
    ASSERT_EQ(SetLong("Timeout", 50), S_OK);
    const LONG code = Call("Beep");  // the port's device does not exist
    EXPECT_LT(code, 0);
    EXPECT_EQ(GetLong("ResultCode"), code);
    EXPECT_EQ(ext_->CallAsProc(Method("Гудок"), nullptr), S_OK);
    EXPECT_EQ(GetLong("ResultCode"), code);
    EXPECT_EQ(Call("ПараметрыПоУмолчанию"), 0);
    EXPECT_EQ(GetLong("Timeout"), 1000);
    EXPECT_EQ(GetLong("ResultCode"), 0);
}

// ---- IInitDone and the host's event ----

TEST_F(Addin, InitWithoutConnectionMakesAClient) {
    EXPECT_EQ(GetLong("IsClient1C"), 0);
    EXPECT_EQ(init_->Init(nullptr), S_OK);
    EXPECT_EQ(GetLong("IsClient1C"), 1);
    EXPECT_EQ(init_->Done(), S_OK);
    EXPECT_EQ(GetLong("Клиент1С"), 1) << "stays set";
}

TEST_F(Addin, GetInfoGivesTheVersion) {
    SAFEARRAY* info = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(init_->GetInfo(&info), S_OK);
    LONG index = 0;
    VARIANT v;
    VariantInit(&v);
    ASSERT_EQ(SafeArrayGetElement(info, &index, &v), S_OK);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(tessel::BstrToUtf8(v.bstrVal), "1000");
    VariantClear(&v);
    SafeArrayDestroy(info);
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(init_->GetInfo(&none), E_POINTER);
}

TEST_F(Addin, EveryCommandReachesTheHostAfterTheAutomationEvents) {
    HostSink& page = MakePeer("page");
    HostSink& driver = MakePeer("driver");
    HostSink& host = MakeHost(true);
    DWORD c1 = 0;
    DWORD c2 = 0;
    ASSERT_EQ(Advise(ext_.Get(), DIID_IPageEvents, static_cast<IDispatch*>(&page), &c1), S_OK);
    ASSERT_EQ(Advise(ext_.Get(), DIID_IDriverEvents, static_cast<IDispatch*>(&driver), &c2), S_OK);

    object_->FireCommand(7);  // before Init: the automation events alone
    ASSERT_EQ(init_->Init(&host), S_OK);
    EXPECT_EQ(host.refs, 2u) << "the object keeps the host's IAsyncEvent";
    object_->FireCommand(8);
    object_->FireCommand(9);
    EXPECT_EQ(journal_, (std::vector<std::string>{"page 7", "driver 7", "page 8", "driver 8", "1C 8",
                                                  "page 9", "driver 9", "1C 9"}));
    ASSERT_EQ(host.events.size(), 2u);
    EXPECT_EQ(host.events[0][0], "ДрайверККМ");
    EXPECT_EQ(host.events[0][1], "ИдентификаторКоманды");
    EXPECT_EQ(host.events[1][2], "9");

    ASSERT_EQ(init_->Done(), S_OK);
    EXPECT_EQ(host.refs, 1u);
    object_->FireCommand(10);
    EXPECT_EQ(host.events.size(), 2u);
    EXPECT_EQ(Unadvise(ext_.Get(), DIID_IPageEvents, c1), S_OK);
    EXPECT_EQ(Unadvise(ext_.Get(), DIID_IDriverEvents, c2), S_OK);
}

TEST_F(Addin, ANewConnectionReplacesTheOld) {
    HostSink& first = MakeHost(true);
    HostSink& plain = MakeHost(false);
    HostSink& second = MakeHost(true);
    ASSERT_EQ(init_->Init(&first), S_OK);
    ASSERT_EQ(init_->Init(&plain), S_OK) << "a host without IAsyncEvent is no failure";
    EXPECT_EQ(first.refs, 1u) << "released when replaced";
    object_->FireCommand(1);
    EXPECT_TRUE(journal_.empty());
    ASSERT_EQ(init_->Init(&second), S_OK);
    ASSERT_EQ(init_->Init(nullptr), S_OK);
    object_->FireCommand(2);
    EXPECT_EQ(journal_, std::vector<std::string>{"1C 2"}) << "no connection keeps the one held";
    EXPECT_EQ(GetLong("IsClient1C"), 1);
}

TEST_F(Addin, InitEnlargesASmallEventBufferOnly) {
    EnableLog();
    HostSink& small = MakeHost(true);
    HostSink& large = MakeHost(true);
    HostSink& refusing = MakeHost(true);
    large.depth = 500;
    refusing.depthAnswer = E_FAIL;
    for (HostSink* host : {&small, &large, &refusing}) ASSERT_EQ(init_->Init(host), S_OK);
    EXPECT_EQ(small.depth, Tole1C::EventBufferDepth) << "events beyond one would be lost";
    EXPECT_EQ(large.depth, 500);
    EXPECT_EQ(refusing.depth, 1);
    const std::string log = LogText();
    EXPECT_NE(log.find(Tole1C::BufferErrorStep), std::string::npos) << log;
    EXPECT_NE(log.find("Ошибка OLE 80004005"), std::string::npos) << log;
    object_->FireCommand(5);
    EXPECT_EQ(journal_, std::vector<std::string>{"1C 5"}) << "a refused buffer still gets its events";
}

// What the host's event ends in, and the message the log must show (none for a success).
struct HostAnswer {
    const char* name;
    HRESULT answer;
    bool throws;
    const char* message;
};
void PrintTo(const HostAnswer& c, std::ostream* os) {
    *os << c.name;
}
class AddinHostAnswers : public Addin, public ::testing::WithParamInterface<HostAnswer> {};

TEST_P(AddinHostAnswers, FailuresAreLoggedAndGoNoFurther) {
    const HostAnswer& c = GetParam();
    EnableLog();
    HostSink& host = MakeHost(true);  // also the IDriverEvents sink
    host.eventAnswer = c.answer;
    host.throwInEvent = c.throws;
    DWORD cookie = 0;
    ASSERT_EQ(Advise(ext_.Get(), DIID_IDriverEvents, static_cast<IDispatch*>(&host), &cookie), S_OK);
    ASSERT_EQ(init_->Init(&host), S_OK);

    object_->FireCommand(31);
    object_->FireCommand(32);
    EXPECT_EQ(journal_, (std::vector<std::string>{"host 31", "1C 31", "host 32", "1C 32"}));
    std::vector<std::string> expected;
    for (int i = 0; i < 2 && c.message != nullptr; ++i)
        expected.insert(expected.end(),
                        {"Ошибка при отправке события в 1С.", c.message, std::string(60, '-')});
    std::vector<std::string> lines;  // without the time stamps and line ends
    std::istringstream in(LogText());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.size() > 24 ? line.substr(24, line.size() - 25) : line);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(Unadvise(ext_.Get(), DIID_IDriverEvents, cookie), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AddinHostAnswers,
                         ::testing::Values(HostAnswer{"Failure", E_FAIL, false, "Ошибка OLE 80004005"},
                                           HostAnswer{"Exception", S_OK, true, "хост упал"},
                                           HostAnswer{"SuccessCode", S_FALSE, false, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Addin, HostMayEndTheSessionInsideTheEvent) {
    HostSink& host = MakeHost(true);
    ASSERT_EQ(init_->Init(&host), S_OK);
    const LONG live = TTesselDrv::LiveObjects();
    Tole1C* object = object_;
    object_ = nullptr;
    // The host ends the session and drops its last reference to the component while being told.
    host.onEvent = [&] {
        init_->Done();
        init_.Reset();
        ext_.Reset();
    };
    object->FireCommand(4);
    EXPECT_EQ(TTesselDrv::LiveObjects(), live - 1) << "freed once the event is over";
    EXPECT_EQ(host.refs, 1u);
    EXPECT_EQ(journal_.size(), 1u);
}

}  // namespace
