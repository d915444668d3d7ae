// The driver object through late binding only: names and DISPIDs from the member lists, every member's
// property get and put and every method through IDispatch::Invoke, the dispatch's COM error codes, and
// the type information.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/oleMain.h"
#include "driver/engine/untConst.h"

namespace {

using tessel::ComPtr;

// A VARIANT that frees what it holds.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    explicit Var(LONG value) : Var() {
        v.vt = VT_I4;
        v.lVal = value;
    }
    explicit Var(const std::string& text) : Var() {
        v.vt = VT_BSTR;
        v.bstrVal = tessel::Utf8ToBstr(text).release();
    }
    ~Var() { VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    std::string Text() const {
        Var t;
        if (FAILED(VariantChangeType(&t.v, &v, 0, VT_BSTR))) return "<no text>";
        return tessel::BstrToUtf8(t.v.bstrVal);
    }
};

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        // No port is reachable: operations fail at once instead of waiting for a register.
        for (int n = 1; n <= 8; ++n)
            ::setenv(("TESSEL_COM" + std::to_string(n)).c_str(), "/nonexistent/tessel-port", 1);
        object_.Attach(new TTesselDrv());
        ASSERT_EQ(object_->QueryInterface(IID_IDispatch, disp_.PutVoid()), S_OK);
    }
    void TearDown() override {
        disp_.Reset();
        object_.Reset();
    }

    DISPID Id(const std::string& name) {
        auto text = tessel::Utf8ToBstr(name);
        LPOLESTR names[1] = {text.get()};
        DISPID id = 12345;
        const HRESULT hr = disp_->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return hr == S_OK ? id : DISPID_UNKNOWN;
    }

    HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT*> args, VARIANT* result, bool namedPut,
                   UINT* argErr = nullptr) {
        std::vector<VARIANT> argv;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            argv.push_back(**it);  // arguments go last first
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{argv.empty() ? nullptr : argv.data(), namedPut ? &named : nullptr,
                          static_cast<UINT>(argv.size()), namedPut ? 1u : 0u};
        return disp_->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, argErr);
    }

    HRESULT Get(const std::string& name, Var& out) {
        return Invoke(Id(name), DISPATCH_PROPERTYGET, {}, &out.v, false);
    }
    HRESULT Put(const std::string& name, Var& value) {
        return Invoke(Id(name), DISPATCH_PROPERTYPUT, {&value.v}, nullptr, true);
    }
    HRESULT Call(const std::string& name, Var& out) {
        return Invoke(Id(name), DISPATCH_METHOD, {}, &out.v, false);
    }
    LONG GetLong(const std::string& name) {
        Var v;
        EXPECT_EQ(Get(name, v), S_OK) << name;
        return v.v.vt == VT_I4 ? v.v.lVal : -99999;
    }
    std::string GetText(const std::string& name) {
        Var v;
        EXPECT_EQ(Get(name, v), S_OK) << name;
        return v.Text();
    }

    ComPtr<ITesselDriver3> object_;
    ComPtr<IDispatch> disp_;
};

TEST_F(Dispatch, EveryMemberIsFoundByBothNamesInAnyCase) {
    for (const TTesselMember& m : TesselMembers) {
        std::string upper(m.name);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(Id(std::string(m.name)), m.dispId) << m.name;
        EXPECT_EQ(Id(upper), m.dispId) << m.name;
        EXPECT_EQ(Id(std::string(m.name1C)), m.dispId) << m.name1C;
    }
    EXPECT_EQ(Id("ПОЛУЧИТЬСОСТОЯНИЕККМ"), TesselDispId::GetECRStatus);
}

TEST_F(Dispatch, NameLookupFailuresGiveTheDispatchCodes) {
    auto unknown = tessel::Utf8ToBstr("NoSuchMember");
    auto beep = tessel::Utf8ToBstr("Beep");
    auto param = tessel::Utf8ToBstr("Value");
    DISPID ids[2] = {0, 0};
    LPOLESTR one[1] = {unknown.get()};
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, one, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    LPOLESTR two[2] = {beep.get(), param.get()};
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], TesselDispId::Beep);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(disp_->GetIDsOfNames(IID_IDispatch, one, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

// Every getter answers S_OK with a value of the member's own type.
TEST_F(Dispatch, EveryGetterYieldsItsType) {
    for (const TTesselMember& m : TesselMembers) {
        if (m.kind == TMemberKind::Method) continue;
        Var v;
        ASSERT_EQ(Invoke(m.dispId, DISPATCH_PROPERTYGET, {}, &v.v, false), S_OK) << m.name;
        EXPECT_EQ(v.v.vt, TesselVarType(m.type)) << m.name;
    }
}

// A value for a put of every member, given as text (a convertible type of its own), and what a get yields
// after it where that is not the same text.
struct TSample {
    std::string put;
    std::string get;
};

TSample SampleFor(const TTesselMember& m) {
    static const std::map<std::string, TSample> special = {
        {"BaudRate", {"6", "6"}},
        {"PortNumber", {"5", "5"}},
        {"LDName", {"Касса у окна", "Касса у окна"}},
        {"CommandCadrHex", {"02 0A FF", "02 0A FF "}},
        {"DataBlockHex", {"1 2 A", "01 02 0A "}},
        {"RawDataHex", {"C0C1", "C0 C1 "}},
        {"ECRDateStr", {"31.12.2024", "31.12.2024"}},
        {"ECRSoftDateStr", {"01.02.2003", "01.02.2003"}},
        {"ECRTimeStr", {"23:59:58", "23:59:58"}},
        {"ECRDate", {"2024-12-31", "2024-12-31"}},
        {"ECRSoftDate", {"2003-02-01", "2003-02-01"}},
        {"ECRTime", {"12:00:00", "12:00:00"}},
        {"Price", {"123.4567", "123.4567"}},
        {"Quantity", {"2.5", "2.5"}},
        {"BarcodeWeight", {"0.125", "0.125"}},
        {"FieldType", {"1", "1"}},
        {"LogFileName", {"/tmp/tessel-dispatch-test.log", "/tmp/tessel-dispatch-test.log"}},
    };
    if (auto it = special.find(std::string(m.name)); it != special.end()) return it->second;
    switch (m.type) {
        case TMemberType::Long:
            return {"77", "77"};
        case TMemberType::String:
            return {"Тест ККМ", "Тест ККМ"};
        case TMemberType::Double:
            return {"1.5", "1.5"};
        case TMemberType::Currency:
            return {"10.25", "10.25"};
        case TMemberType::Boolean:
            return {"1", "-1"};
        default:
            return {"", ""};
    }
}

// Members whose put does something other than storing what is given.
bool RoundTrips(const TTesselMember& m) {
    static const std::vector<std::string> not_stored = {
        "CommandData", "CommandDataHex", "DeviceEnabled", "LDIndex",     "LDNumber",   "CommandCadr",
        "DataBlock",   "RawData",        "ECRDate",       "ECRSoftDate", "LogEnabled", "ECRTime"};
    return std::find(not_stored.begin(), not_stored.end(), std::string(m.name)) == not_stored.end();
}

TEST_F(Dispatch, EverySetterTakesAConvertibleValueAndTheGetterGivesItBack) {
    for (const TTesselMember& m : TesselMembers) {
        if (!m.HasSetter()) continue;
        const TSample sample = SampleFor(m);
        Var value(sample.put);
        ASSERT_EQ(Invoke(m.dispId, DISPATCH_PROPERTYPUT, {&value.v}, nullptr, true), S_OK) << m.name;
        if (!RoundTrips(m)) continue;
        Var got;
        ASSERT_EQ(Invoke(m.dispId, DISPATCH_PROPERTYGET, {}, &got.v, false), S_OK) << m.name;
        if (m.type == TMemberType::Date) continue;
        EXPECT_EQ(got.Text(), sample.get) << m.name;
    }
}

TEST_F(Dispatch, ByteStringsHoldOneCharacterPerByte) {
    Var hex(std::string("00 41 C0 FF 98"));
    ASSERT_EQ(Put("DataBlockHex", hex), S_OK);
    Var bytes;
    ASSERT_EQ(Get("DataBlock", bytes), S_OK);
    ASSERT_EQ(bytes.v.vt, VT_BSTR);
    ASSERT_EQ(SysStringLen(bytes.v.bstrVal), 5u);
    EXPECT_EQ(bytes.v.bstrVal[1], u'A');
    EXPECT_EQ(bytes.v.bstrVal[2], u'А');  // C0h is the Cyrillic capital A
    Var back;
    VariantCopy(&back.v, &bytes.v);
    ASSERT_EQ(Put("RawData", back), S_OK);
    EXPECT_EQ(GetText("RawDataHex"), "00 41 C0 FF 98 ");
}

TEST_F(Dispatch, EveryMethodYieldsItsResultCodeAsResultCodeDoes) {
    for (const TTesselMember& m : TesselMembers) {
        if (m.kind != TMemberKind::Method || m.type == TMemberType::None) continue;
        Var result;
        ASSERT_EQ(Invoke(m.dispId, DISPATCH_METHOD, {}, &result.v, false), S_OK) << m.name;
        ASSERT_EQ(result.v.vt, VT_I4) << m.name;
        EXPECT_EQ(result.v.lVal, GetLong("ResultCode")) << m.name;
    }
}

TEST_F(Dispatch, DialogsAreRefusedWhileTheirModuleIsMissing) {
    for (const char* name : {"ShowLogDlg", "ShowProperties", "ShowSearchDlg", "ShowServiceDlg",
                             "ShowStatusDlg", "ShowTablesDlg"}) {
        Var result;
        ASSERT_EQ(Call(name, result), S_OK) << name;
        EXPECT_EQ(result.v.lVal, -199) << name;
        EXPECT_NE(GetText("ResultDescription").find("не установлен"), std::string::npos) << name;
    }
    Var none;
    // AboutBox by its DISPID and by its name: no value, the refusal in ResultCode.
    ASSERT_EQ(Invoke(-552, DISPATCH_METHOD, {}, &none.v, false), S_OK);
    EXPECT_EQ(none.v.vt, VT_EMPTY);
    EXPECT_EQ(GetLong("ResultCode"), -199);
    ASSERT_EQ(Call("AboutBox", none), S_OK);
    EXPECT_EQ(GetLong("ResultCode"), -199);
    EXPECT_EQ(GetText("IsShowProperties"), "0");
}

struct TCallForm {
    const char* member;
    WORD flags;
    int args;
    bool namedPut;
    HRESULT expected;
};

class DispatchErrors : public Dispatch, public ::testing::WithParamInterface<TCallForm> {};

TEST_P(DispatchErrors, WrongFormsGiveTheDispatchCodes) {
    const TCallForm& form = GetParam();
    Var a(LONG{1});
    Var b(LONG{2});
    std::vector<VARIANT*> args;
    if (form.args > 0) args.push_back(&a.v);
    if (form.args > 1) args.push_back(&b.v);
    Var result;
    const DISPID id = std::string(form.member) == "?" ? 0x7777 : Id(form.member);
    EXPECT_EQ(Invoke(id, form.flags, args, &result.v, form.namedPut), form.expected) << form.member;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DispatchErrors,
    ::testing::Values(TCallForm{"Beep", DISPATCH_METHOD, 1, false, DISP_E_BADPARAMCOUNT},
                      TCallForm{"Beep", DISPATCH_METHOD, 1, true, DISP_E_NONAMEDARGS},
                      TCallForm{"Beep", DISPATCH_PROPERTYPUT, 1, true, DISP_E_MEMBERNOTFOUND},
                      TCallForm{"Timeout", DISPATCH_PROPERTYGET, 1, false, DISP_E_BADPARAMCOUNT},
                      TCallForm{"Timeout", DISPATCH_PROPERTYPUT, 0, false, DISP_E_PARAMNOTOPTIONAL},
                      TCallForm{"Timeout", DISPATCH_PROPERTYPUT, 2, true, DISP_E_BADPARAMCOUNT},
                      TCallForm{"Timeout", DISPATCH_PROPERTYPUT, 1, false, DISP_E_PARAMNOTFOUND},
                      TCallForm{"ResultCode", DISPATCH_PROPERTYPUT, 1, true, DISP_E_MEMBERNOTFOUND},
                      TCallForm{"?", DISPATCH_METHOD, 0, false, DISP_E_MEMBERNOTFOUND},
                      TCallForm{"Timeout", DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, false, S_OK},
                      TCallForm{"Beep", DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, false, S_OK}));

TEST_F(Dispatch, ValuesThatDoNotConvertAreRefusedWithTheirArgument) {
    Var text(std::string("abc"));
    UINT argErr = 99;
    EXPECT_EQ(Invoke(Id("Timeout"), DISPATCH_PROPERTYPUT, {&text.v}, nullptr, true, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    Var huge(std::string("99999999999"));
    EXPECT_EQ(Invoke(Id("Timeout"), DISPATCH_PROPERTYPUT, {&huge.v}, nullptr, true, &argErr),
              DISP_E_OVERFLOW);
    EXPECT_EQ(GetLong("Timeout"), 1000);
}

TEST_F(Dispatch, ByReferenceArgumentsAreReadThroughTheirReference) {
    LONG value = 4321;
    Var ref;
    ref.v.vt = VT_I4 | VT_BYREF;
    ref.v.plVal = &value;
    ASSERT_EQ(Put("Timeout", ref), S_OK);
    ref.v.vt = VT_EMPTY;  // the reference is not ours to free
    EXPECT_EQ(GetLong("Timeout"), 4321);
}

// A host that sends decimals (1C, .NET) sets money, quantities, numbers and texts with them.
struct TDecimalPut {
    const char* member;
    BYTE scale;
    bool negative;
    ULONGLONG digits;
    const char* got;  // the getter's value as text
};

class DecimalPuts : public Dispatch, public ::testing::WithParamInterface<TDecimalPut> {};

TEST_P(DecimalPuts, SetTheMemberAsTheNumberTheyHold) {
    const TDecimalPut& c = GetParam();
    Var dec;
    dec.v.decVal.scale = c.scale;
    dec.v.decVal.sign = c.negative ? DECIMAL_NEG : 0;
    dec.v.decVal.Lo64 = c.digits;
    dec.v.vt = VT_DECIMAL;
    ASSERT_EQ(Put(c.member, dec), S_OK);
    EXPECT_EQ(GetLong("ResultCode"), 0) << GetText("ResultDescription");
    EXPECT_EQ(GetText(c.member), c.got);
}

INSTANTIATE_TEST_SUITE_P(Members, DecimalPuts,
                         ::testing::Values(TDecimalPut{"Price", 2, false, 12345, "123.45"},
                                           TDecimalPut{"Summ", 4, true, 15, "-0.0015"},
                                           TDecimalPut{"Quantity", 3, false, 2500, "2.5"},
                                           TDecimalPut{"Timeout", 0, false, 4321, "4321"},
                                           TDecimalPut{"Code", 1, false, 15, "1.5"}),
                         [](const auto& info) { return std::string(info.param.member); });

TEST_F(Dispatch, ADecimalBeyondTheMembersRangeIsRefused) {
    Var dec;
    dec.v.decVal.Lo64 = 1ull << 40;
    dec.v.vt = VT_DECIMAL;
    UINT argErr = 99;
    EXPECT_EQ(Invoke(Id("Timeout"), DISPATCH_PROPERTYPUT, {&dec.v}, nullptr, true, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(GetLong("Timeout"), 1000);
}

// The model picks the mode texts as a whole number: one beyond the models that have texts (any above 6, also
// one whose low byte names such a model) reads its modes as numbers.
struct TModeCase {
    LONG model;
    LONG mode;
    const char* text;
};

class ModeDescriptions : public Dispatch, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(ModeDescriptions, FollowTheWholeModelNumber) {
    Var model(GetParam().model);
    Var mode(GetParam().mode);
    ASSERT_EQ(Put("UModel", model), S_OK);
    ASSERT_EQ(Put("ECRMode", mode), S_OK);
    EXPECT_EQ(GetText("ECRModeDescription"), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Models, ModeDescriptions,
                         ::testing::Values(TModeCase{3, 4, "режим программирования"},
                                           TModeCase{3, 255, "выбор режима"}, TModeCase{7, 4, "4"},
                                           TModeCase{0x103, 4, "4"}, TModeCase{0x102, 255, "255"},
                                           TModeCase{-253, 4, "4"}));

struct TWidthCase {
    const char* member;
    LONG put;
    LONG get;
};

class DispatchWidths : public Dispatch, public ::testing::WithParamInterface<TWidthCase> {};

TEST_P(DispatchWidths, ByteAndWordPropertiesKeepTheLowBits) {
    Var v(GetParam().put);
    ASSERT_EQ(Put(GetParam().member, v), S_OK);
    EXPECT_EQ(GetLong(GetParam().member), GetParam().get);
}

INSTANTIATE_TEST_SUITE_P(Masks, DispatchWidths,
                         ::testing::Values(TWidthCase{"ECRDay", 300, 44}, TWidthCase{"ECRDay", -1, 255},
                                           TWidthCase{"CommandCode", 0x1FC, 0xFC},
                                           TWidthCase{"SrcAddress", 513, 1}, TWidthCase{"DstAddress", 258, 2},
                                           TWidthCase{"ReceiptNumber", 70000, 4464},
                                           TWidthCase{"ECRFlags", -1, 65535}, TWidthCase{"Timeout", -5, -5},
                                           TWidthCase{"ActivizationNumber", 70000, 70000}));

TEST_F(Dispatch, BooleansAreMinusOneAndZeroAndAnyNonZeroIsTrue) {
    Var five(LONG{5});
    ASSERT_EQ(Put("WaitAnswer", five), S_OK);
    Var v;
    ASSERT_EQ(Get("WaitAnswer", v), S_OK);
    ASSERT_EQ(v.v.vt, VT_BOOL);
    EXPECT_EQ(v.v.boolVal, VARIANT_TRUE);
    Var zero(LONG{0});
    ASSERT_EQ(Put("ЖдатьОтвет", zero), S_OK);
    Var w;
    ASSERT_EQ(Get("WaitAnswer", w), S_OK);
    EXPECT_EQ(w.v.boolVal, VARIANT_FALSE);
}

TEST_F(Dispatch, ARefusedValueIsSOkWithTheErrorInResultCode) {
    Var zero(LONG{0});
    ASSERT_EQ(Put("LDNumber", zero), S_OK);
    EXPECT_EQ(GetLong("ResultCode"), -6);
    EXPECT_EQ(GetText("ResultDescription"), "Недопустимое значение");
    // The same through the early-bound slot.
    EXPECT_EQ(object_->put_LDNumber(0), S_OK);
    LONG code = 0;
    EXPECT_EQ(object_->get_ResultCode(&code), S_OK);
    EXPECT_EQ(code, -6);
    EXPECT_EQ(object_->get_ResultCode(nullptr), E_POINTER);
}

TEST_F(Dispatch, ECRDeviceNameFollowsDeviceNumber) {
    const std::pair<LONG, const char*> cases[] = {{0, ""}, {1, "накопитель ФП"}, {7, "внешнее ОЗУ"}, {8, ""}};
    for (const auto& [number, name] : cases) {
        Var v(number);
        ASSERT_EQ(Put("DeviceNumber", v), S_OK);
        EXPECT_EQ(GetText("ECRDeviceName"), name) << number;
    }
}

TEST_F(Dispatch, SetDefaultsRestoresTheConnection) {
    Var v7(LONG{7});
    Put("Timeout", v7);
    Put("BaudRate", v7);
    Put("PortNumber", v7);
    Var result;
    ASSERT_EQ(Call("SetDefaults", result), S_OK);
    EXPECT_EQ(result.v.lVal, 0);
    EXPECT_EQ(GetLong("Timeout"), 1000);
    EXPECT_EQ(GetLong("BaudRate"), 3);
    EXPECT_EQ(GetLong("PortNumber"), 1);
    EXPECT_EQ(GetLong("SrcAddress"), 1);
    EXPECT_EQ(GetLong("DstAddress"), 2);
    EXPECT_EQ(GetText("ResultDescription"), "Ошибок нет");
}

TEST_F(Dispatch, CommandResultDescriptionFollowsCommandResultCode) {
    const std::pair<LONG, const char*> cases[] = {
        {0, "Ошибок нет"}, {130, "Неверный номер таблицы"}, {-6, "Недопустимое значение"}};
    for (const auto& [code, text] : cases) {
        Var v(code);
        ASSERT_EQ(Put("CommandResultCode", v), S_OK);
        EXPECT_EQ(GetText("CommandResultDescription"), text) << code;
    }
}

// A name as COM passes it: NUL-terminated, with no length prefix. `prefix` is what lies in the four bytes
// before the text, which a reader taking the name for a BSTR would take for its byte count.
struct PlainName {
    const char* label;
    std::uint32_t prefix;
    std::u16string text;
    DISPID expected;
};

class PlainNames : public Dispatch, public ::testing::WithParamInterface<PlainName> {};

TEST_P(PlainNames, AreReadUpToTheirNulByTheDispatchAndTheTypeInformation) {
    const PlainName& c = GetParam();
    // The prefix and the text laid out in one buffer, as a name sitting in a client's memory.
    std::vector<char16_t> buffer(2 + c.text.size() + 1, u'\0');
    std::memcpy(buffer.data(), &c.prefix, sizeof c.prefix);
    std::copy(c.text.begin(), c.text.end(), buffer.begin() + 2);
    LPOLESTR names[1] = {buffer.data() + 2};
    DISPID id = 12345;
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, names, 1, 0, &id),
              c.expected == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
    EXPECT_EQ(id, c.expected);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(disp_->GetTypeInfo(0, 0, info.Put()), S_OK);
    MEMBERID memberId = 12345;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &memberId),
              c.expected == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
    EXPECT_EQ(memberId, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlainNames,
    ::testing::Values(PlainName{"ZeroBeforeTheName", 0, u"Beep", TesselDispId::Beep},
                      PlainName{"ShortCountBeforeTheName", 2, u"Beep", TesselDispId::Beep},
                      PlainName{"CountBeyondTheName", 40, u"beep", TesselDispId::Beep},
                      PlainName{"RussianName", 0, u"ПолучитьСостояниеККМ", TesselDispId::GetECRStatus},
                      PlainName{"UnknownName", 8, u"Beeps", DISPID_UNKNOWN},
                      PlainName{"EmptyName", 6, u"", DISPID_UNKNOWN}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Dispatch, ALiteralNameIsFound) {
    static const char16_t beep[] = u"Beep";
    LPOLESTR names[1] = {const_cast<LPOLESTR>(beep)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(disp_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, TesselDispId::Beep);
}

TEST_F(Dispatch, VersionIsTheBuildsFileVersion) {
    EXPECT_EQ(GetText("Version"), TESSEL_FILE_VERSION);
}

TEST_F(Dispatch, TypeInformationListsEverySlotInOrderWithTheRussianNames) {
    UINT count = 0;
    ASSERT_EQ(disp_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(disp_->GetTypeInfo(0, 0, info.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ITesselDriver3));
    EXPECT_EQ(attr->cFuncs, TesselSlotCount(TMemberInterface::Driver3) - TesselBaseSlotCount);
    UINT f = 0;
    for (const TTesselMember& m : TesselMembers) {
        for (int slot = 0; slot < m.SlotCount(); ++slot, ++f) {
            FUNCDESC* desc = nullptr;
            ASSERT_EQ(info->GetFuncDesc(f, &desc), S_OK);
            EXPECT_EQ(desc->memid, m.dispId);
            const INVOKEKIND kind = m.kind == TMemberKind::Method ? INVOKE_FUNC
                                    : slot == 0                   ? INVOKE_PROPERTYGET
                                                                  : INVOKE_PROPERTYPUT;
            EXPECT_EQ(desc->invkind, kind) << m.name;
            info->ReleaseFuncDesc(desc);
        }
        BSTR name = nullptr;
        BSTR doc = nullptr;
        ASSERT_EQ(info->GetDocumentation(m.dispId, &name, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(tessel::BstrToUtf8(name), m.name);
        EXPECT_EQ(tessel::BstrToUtf8(doc), m.name1C);
        SysFreeString(name);
        SysFreeString(doc);
    }
    FUNCDESC* past = nullptr;
    EXPECT_EQ(info->GetFuncDesc(f, &past), TYPE_E_ELEMENTNOTFOUND);
    info->ReleaseTypeAttr(attr);
    ComPtr<ITypeInfo> none;
    EXPECT_EQ(disp_->GetTypeInfo(1, 0, none.Put()), DISP_E_BADINDEX);
}

TEST_F(Dispatch, TheObjectServesItsInterfacesAndConnectionPoints) {
    for (const IID& iid : {IID_IUnknown, IID_IDispatch, IID_ITesselDriver, IID_ITesselDriver2,
                           IID_ITesselDriver3, IID_IConnectionPointContainer}) {
        ComPtr<IUnknown> p;
        EXPECT_EQ(object_->QueryInterface(iid, p.PutVoid()), S_OK);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(object_->QueryInterface(IID_ITypeInfo, none.PutVoid()), E_NOINTERFACE);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(object_->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    IConnectionPoint* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    IID first{};
    IID second{};
    got[0]->GetConnectionInterface(&first);
    got[1]->GetConnectionInterface(&second);
    EXPECT_TRUE(IsEqualGUID(first, DIID_IPageEvents));
    EXPECT_TRUE(IsEqualGUID(second, DIID_IDriverEvents));
    got[0]->Release();
    got[1]->Release();
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.Put()), CONNECT_E_NOCONNECTION);
}

// ---- The driver links ----

TEST_F(Dispatch, TwoObjectsShareTheEngineButNotTheirOwnFields) {
    ComPtr<ITesselDriver3> second;
    second.Attach(new TTesselDrv());
    EXPECT_EQ(object_->put_PortNumber(6), S_OK);
    LONG port = 0;
    second->get_PortNumber(&port);
    EXPECT_EQ(port, 6);
    object_->put_ParentWnd(1234);
    object_->put_LockDevices(VARIANT_TRUE);
    LONG wnd = -1;
    VARIANT_BOOL locked = VARIANT_TRUE;
    second->get_ParentWnd(&wnd);
    second->get_LockDevices(&locked);
    EXPECT_EQ(wnd, 0);
    EXPECT_EQ(locked, VARIANT_FALSE);
    ASSERT_NE(TDrvLinks::Current(), nullptr);
    EXPECT_EQ(TDrvLinks::Current()->Count(), 2u);
    second.Reset();
    EXPECT_EQ(TDrvLinks::Current()->Count(), 1u);
}

TEST(DrvLinks, ObjectsMadeAndFreedOnManyThreadsShareOneEngineAndLeaveNone) {
    ASSERT_EQ(TDrvLinks::Current(), nullptr);
    const LONG before = TTesselDrv::LiveObjects();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 25; ++i) {
                ComPtr<ITesselDriver> d;
                d.Attach(new TTesselDrv());
                LONG timeout = 0;
                d->get_Timeout(&timeout);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(TDrvLinks::Current(), nullptr);
    EXPECT_EQ(TTesselDrv::LiveObjects(), before);
}

}  // namespace
