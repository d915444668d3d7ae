#pragma once
// A driver interface in front of a scripted register for the transfer engine's tests: table structures and
// values answer as the register does (130 past the last table), chosen calls answer with result codes or a
// failing HRESULT, and every method call is counted and recorded with the numbers it was given.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"

struct FakeField {
    std::string name;
    LONG type = ftInt;
    LONG size = 1;
    LONG min = 0;
    LONG max = 255;
};

struct FakeTable {
    std::string name;
    std::vector<FakeField> fields;
    std::vector<std::vector<std::string>> rows;  // values as the driver reads them
};

// One method call: the method's DISPID and the numbers it was called with.
struct FakeCall {
    LONG method = 0;
    LONG table = 0;
    LONG row = 0;
    LONG field = 0;
    bool operator==(const FakeCall&) const = default;
};

class FakeDriver final : public ITesselDriver {
  public:
    std::vector<FakeTable> tables;
    std::string softVersion = "A.2";
    LONG softBuild = 1234;

    // Answers the next `times` calls of `method` with `code` (the register's code, not carried out).
    void FailNext(LONG method, LONG code, int times = 1) {
        std::lock_guard lock(mutex_);
        for (int i = 0; i < times; ++i) scripted_[method].push_back(code);
    }
    // Every call of `method` returns a failing HRESULT.
    void BreakMethod(LONG method) {
        std::lock_guard lock(mutex_);
        broken_ = method;
    }
    // Runs before each method call is carried out, outside the lock, on the calling thread.
    std::function<void(const FakeCall&)> beforeCall;

    std::vector<FakeCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int Count(LONG method) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const FakeCall& c : calls_) n += c.method == method ? 1 : 0;
        return n;
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    LONG Long(LONG dispId) const {
        std::lock_guard lock(mutex_);
        const auto it = longs_.find(dispId);
        return it == longs_.end() ? 0 : it->second;
    }

    // ---- IUnknown and IDispatch ----
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITesselDriver) {
            *ppv = static_cast<ITesselDriver*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack: references are counted only to see that they are balanced.
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--refs); }
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    std::atomic<int> refs{0};

    // ---- ITesselDriver: every slot goes to one of the handlers below ----
#define FAKE_METHOD_Long(dispId, Name)       \
    STDMETHOD(Name)(LONG * Value) override { \
        return Method(dispId, Value);        \
    }
#define FAKE_METHOD_None(dispId, Name) \
    STDMETHOD(Name)() override {       \
        return S_OK;                   \
    }
#define FAKE_GET(dispId, Name, Type)                              \
    STDMETHOD(get_##Name)(TESSEL_CTYPE_##Type * Value) override { \
        return Get(dispId, Value);                                \
    }
#define FAKE_PUT(dispId, Name, Type)                            \
    STDMETHOD(put_##Name)(TESSEL_CTYPE_##Type Value) override { \
        return Put(dispId, Value);                              \
    }
#define FAKE_KIND_Method(dispId, Name, Type) FAKE_METHOD_##Type(dispId, Name)
#define FAKE_KIND_Get(dispId, Name, Type) FAKE_GET(dispId, Name, Type)
#define FAKE_KIND_GetPut(dispId, Name, Type) FAKE_GET(dispId, Name, Type) FAKE_PUT(dispId, Name, Type)
#define FAKE_SLOTS(dispId, Name, name1C, Kind, Type, Width, ...) FAKE_KIND_##Kind(dispId, Name, Type)
    TESSEL_MEMBERS_ITesselDriver(FAKE_SLOTS)
#undef FAKE_SLOTS
#undef FAKE_KIND_GetPut
#undef FAKE_KIND_Get
#undef FAKE_KIND_Method
#undef FAKE_PUT
#undef FAKE_GET
#undef FAKE_METHOD_None
#undef FAKE_METHOD_Long

        private : HRESULT Get(LONG dispId, LONG* value) {
        if (value == nullptr) return E_POINTER;
        std::lock_guard lock(mutex_);
        *value = longs_[dispId];
        return S_OK;
    }
    HRESULT Get(LONG dispId, BSTR* value) {
        if (value == nullptr) return E_POINTER;
        std::lock_guard lock(mutex_);
        *value = tessel::Utf8ToBstr(strings_[dispId]).release();
        return S_OK;
    }
    template <typename T>
    HRESULT Get(LONG, T*) {
        return S_OK;
    }
    HRESULT Put(LONG dispId, LONG value) {
        std::lock_guard lock(mutex_);
        longs_[dispId] = value;
        return S_OK;
    }
    HRESULT Put(LONG dispId, BSTR value) {
        std::lock_guard lock(mutex_);
        strings_[dispId] = tessel::BstrToUtf8(value);
        return S_OK;
    }
    template <typename T>
    HRESULT Put(LONG, T) {
        return S_OK;
    }

    HRESULT Method(LONG dispId, LONG* value) {
        FakeCall call;
        {
            std::lock_guard lock(mutex_);
            call = {dispId, longs_[TesselDispId::TableNumber], longs_[TesselDispId::RowNumber],
                    longs_[TesselDispId::FieldNumber]};
            calls_.push_back(call);
        }
        if (beforeCall) beforeCall(call);
        std::lock_guard lock(mutex_);
        if (broken_ == dispId) return E_FAIL;
        LONG code = 0;
        if (auto it = scripted_.find(dispId); it != scripted_.end() && !it->second.empty()) {
            code = it->second.front();
            it->second.pop_front();
        } else {
            code = CarryOut(dispId);
        }
        longs_[TesselDispId::ResultCode] = code;
        strings_[TesselDispId::ResultDescription] =
            code == 0 ? "Ошибок нет" : "Ошибка " + std::to_string(code);
        if (value != nullptr) *value = code;
        return S_OK;
    }

    // Under the lock: the register's side of one method.
    LONG CarryOut(LONG dispId) {
        const LONG t = longs_[TesselDispId::TableNumber];
        const LONG r = longs_[TesselDispId::RowNumber];
        const LONG f = longs_[TesselDispId::FieldNumber];
        switch (dispId) {
            case TesselDispId::GetECRStatus:
                strings_[TesselDispId::ECRSoftVersion] = softVersion;
                longs_[TesselDispId::ECRSoftBuild] = softBuild;
                return 0;
            case TesselDispId::GetTableStruct: {
                if (t < 1 || t > static_cast<LONG>(tables.size())) return 130;
                const FakeTable& table = tables[static_cast<std::size_t>(t - 1)];
                strings_[TesselDispId::TableName] = table.name;
                longs_[TesselDispId::RowCount] = static_cast<LONG>(table.rows.size());
                longs_[TesselDispId::FieldCount] = static_cast<LONG>(table.fields.size());
                return 0;
            }
            case TesselDispId::GetFieldStruct: {
                const FakeField* field = FieldOf(t, f);
                if (field == nullptr) return 132;
                strings_[TesselDispId::FieldName] = field->name;
                longs_[TesselDispId::FieldType] = field->type;
                longs_[TesselDispId::FieldSize] = field->size;
                longs_[TesselDispId::FieldMinValue] = field->min;
                longs_[TesselDispId::FieldMaxValue] = field->max;
                return 0;
            }
            case TesselDispId::ReadTable: {
                std::string* cell = CellOf(t, r, f);
                if (cell == nullptr) return 131;
                longs_[TesselDispId::FieldType] = FieldOf(t, f)->type;
                strings_[TesselDispId::FieldValue] = *cell;
                return 0;
            }
            case TesselDispId::WriteTable: {
                std::string* cell = CellOf(t, r, f);
                if (cell == nullptr) return 131;
                if (longs_[TesselDispId::FieldType] != FieldOf(t, f)->type) return 139;
                *cell = strings_[TesselDispId::FieldValue];
                return 0;
            }
            default:
                return 0;
        }
    }

    FakeField* FieldOf(LONG t, LONG f) {
        if (t < 1 || t > static_cast<LONG>(tables.size())) return nullptr;
        FakeTable& table = tables[static_cast<std::size_t>(t - 1)];
        if (f < 1 || f > static_cast<LONG>(table.fields.size())) return nullptr;
        return &table.fields[static_cast<std::size_t>(f - 1)];
    }
    std::string* CellOf(LONG t, LONG r, LONG f) {
        if (FieldOf(t, f) == nullptr) return nullptr;
        FakeTable& table = tables[static_cast<std::size_t>(t - 1)];
        if (r < 1 || r > static_cast<LONG>(table.rows.size())) return nullptr;
        return &table.rows[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(f - 1)];
    }

    mutable std::mutex mutex_;
    std::map<LONG, LONG> longs_;
    std::map<LONG, std::string> strings_;
    std::map<LONG, std::deque<LONG>> scripted_;
    LONG broken_ = 0;
    std::vector<FakeCall> calls_;
};
