#include "driver/native1c/NativeValues.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/com/ComText.h"
#include "driver/base/untDateTime.h"

namespace {

// An integer as VT_I4 where it fits; beyond, VT_R8, which the driver's own conversion then judges.
bool PutInteger(VARIANT& out, long long value) {
    if (value >= INT32_MIN && value <= INT32_MAX) {
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(value);
    } else {
        out.vt = VT_R8;
        out.dblVal = static_cast<double>(value);
    }
    return true;
}

void PutText(VARIANT& out, tessel::UniqueBstr text) {
    out.vt = VT_BSTR;
    out.bstrVal = text.release();
}

tessel::UniqueBstr TextOf(const WCHAR_T* text, std::uint32_t length) {
    if (text == nullptr) length = 0;
    static const OLECHAR kEmpty[1] = {0};
    tessel::UniqueBstr made(length == 0 ? SysAllocString(kEmpty) : SysAllocStringLen(text, length));
    if (!made) throw std::bad_alloc();
    return made;
}

// A calendar time as an automation date; false when it names no day of the years 1 to 9999.
bool DateFromCalendar(const struct tm& t, DATE& out) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date) ||
        !TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, time))
        return false;
    // Before 30.12.1899 the day counts backwards and its time forwards: 29.12.1899 06:00 is -1.25.
    out = date < 0 ? date - time : date + time;
    return true;
}

bool CalendarFromDate(DATE value, struct tm& out) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!DecodeDate(value, year, month, day) || !DecodeTime(value, hour, minute, second)) return false;
    out = {};
    out.tm_year = year - 1900;
    out.tm_mon = month - 1;
    out.tm_mday = day;
    out.tm_hour = hour;
    out.tm_min = minute;
    out.tm_sec = second;
    out.tm_isdst = -1;
    return true;
}

}  // namespace

bool FromNativeValue(const tVariant& value, VARIANT& out) {
    switch (value.vt) {
        case VTYPE_EMPTY:
        case VTYPE_NULL:
            return true;
        case VTYPE_I1:
            return PutInteger(out, value.i8Val);
        case VTYPE_I2:
            return PutInteger(out, value.shortVal);
        case VTYPE_I4:
        case VTYPE_ERROR:
            return PutInteger(out, value.lVal);
        case VTYPE_INT:
            return PutInteger(out, value.intVal);
        case VTYPE_UI1:
            return PutInteger(out, value.ui8Val);
        case VTYPE_UI2:
            return PutInteger(out, value.ushortVal);
        case VTYPE_UI4:
            return PutInteger(out, value.ulVal);
        case VTYPE_UINT:
            return PutInteger(out, value.uintVal);
        case VTYPE_I8:
            return PutInteger(out, value.llVal);
        case VTYPE_UI8:
            if (value.ullVal > static_cast<unsigned long long>(LLONG_MAX)) {
                out.vt = VT_R8;
                out.dblVal = static_cast<double>(value.ullVal);
                return true;
            }
            return PutInteger(out, static_cast<long long>(value.ullVal));
        case VTYPE_R4:
            out.vt = VT_R8;
            out.dblVal = value.fltVal;
            return true;
        case VTYPE_R8:
            out.vt = VT_R8;
            out.dblVal = value.dblVal;
            return true;
        case VTYPE_BOOL:
            out.vt = VT_BOOL;
            out.boolVal = value.bVal ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        case VTYPE_DATE:
            out.vt = VT_DATE;
            out.date = value.date;
            return true;
        case VTYPE_TM:
            if (!DateFromCalendar(value.tmVal, out.date)) return false;
            out.vt = VT_DATE;
            return true;
        case VTYPE_PWSTR:
            PutText(out, TextOf(value.pwstrVal, value.wstrLen));
            return true;
        case VTYPE_PSTR:
            PutText(out, tessel::Utf8ToBstr(value.pstrVal == nullptr
                                                ? std::string_view()
                                                : std::string_view(value.pstrVal, value.strLen)));
            return true;
        case VTYPE_BLOB: {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.pstrVal);
            PutText(out,
                    tessel::BytesToBstr(bytes == nullptr ? Bytes() : Bytes(bytes, bytes + value.strLen)));
            return true;
        }
        default:
            return false;
    }
}

bool ToNativeValue(const VARIANT& value, tVariant& out, IMemoryManager& memory) {
    out = tVariant{};
    out.vt = VTYPE_EMPTY;
    switch (value.vt) {
        case VT_EMPTY:
            return true;
        case VT_I4:
            out.lVal = value.lVal;
            out.vt = VTYPE_I4;
            return true;
        case VT_R8:
            out.dblVal = value.dblVal;
            out.vt = VTYPE_R8;
            return true;
        case VT_CY:
            // The nearest double to the four-decimal amount; exact below 2^53 ten-thousandths.
            out.dblVal = static_cast<double>(value.cyVal.int64) / 10000.0;
            out.vt = VTYPE_R8;
            return true;
        case VT_BOOL:
            out.bVal = value.boolVal != VARIANT_FALSE;
            out.vt = VTYPE_BOOL;
            return true;
        case VT_DATE:
            if (!CalendarFromDate(value.date, out.tmVal)) return false;
            out.vt = VTYPE_TM;
            return true;
        case VT_BSTR: {
            const UINT length = SysStringLen(value.bstrVal);
            WCHAR_T* text = NativeString(NativeText(value.bstrVal, length), memory);
            if (text == nullptr) return false;
            out.pwstrVal = text;
            out.wstrLen = length;
            out.vt = VTYPE_PWSTR;
            return true;
        }
        default:
            return false;
    }
}

WCHAR_T* NativeString(NativeText text, IMemoryManager& memory) {
    if (text.size() >= ULONG_MAX / sizeof(WCHAR_T)) return nullptr;
    void* block = nullptr;
    const auto bytes = static_cast<unsigned long>((text.size() + 1) * sizeof(WCHAR_T));
    if (!memory.AllocMemory(&block, bytes) || block == nullptr) return nullptr;
    auto* copy = static_cast<WCHAR_T*>(block);
    if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR_T));
    copy[text.size()] = 0;
    return copy;
}

WCHAR_T* NativeString(std::string_view utf8, IMemoryManager& memory) {
    const tessel::UniqueBstr text = tessel::Utf8ToBstr(utf8);
    return NativeString(NativeText(text.get(), SysStringLen(text.get())), memory);
}

std::string Utf8FromNative(const WCHAR_T* text) {
    return tessel::OleStrToUtf8(text);
}
