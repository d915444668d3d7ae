#include "tools/python/Convert.h"

// The datetime C API keeps its table in a static of each translation unit: every use lives in this file.
#include <datetime.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "tools/python/ComError.h"
#include "tools/python/Dispatch.h"

namespace py = pybind11;

namespace tessel::python {

namespace {

using namespace std::chrono;

constexpr sys_days kOleEpoch = 1899y / December / 30;
constexpr long long kMsPerDay = 86'400'000;
constexpr long long kUsPerDay = 86'400'000'000;
// Beyond the years 1 to 9999 on either side, so that the day count below cannot overflow.
constexpr double kDateBound = 3.0e6;
constexpr int kMinOleYear = 100;  // the automation date type starts here
constexpr int kMaxYear = 9999;

void RequireDatetimeApi() {
    if (PyDateTimeAPI != nullptr) return;
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
}

// decimal.Decimal, imported once and kept for the life of the process.
py::handle DecimalType() {
    static const py::handle type = py::object(py::module_::import("decimal").attr("Decimal")).release();
    return type;
}

py::object CurrencyToDecimal(LONGLONG count) {
    // The magnitude as unsigned, so that the most negative count has one too.
    const unsigned long long magnitude =
        count < 0 ? 0ull - static_cast<unsigned long long>(count) : static_cast<unsigned long long>(count);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%04llu", count < 0 ? "-" : "", magnitude / 10000,
                  magnitude % 10000);
    return DecimalType()(text);
}

// value * 10^4 from the decimal's own digits, rounded half away from zero; never through a float.
LONGLONG DecimalToCurrency(py::handle value, int argument) {
    const py::tuple parts = value.attr("as_tuple")();
    const bool negative = parts[0].cast<int>() != 0;
    const py::tuple digits = parts[1];
    const py::handle exponent = parts[2];
    if (!PyLong_Check(exponent.ptr())) {
        throw ComFailure(DISP_E_TYPEMISMATCH, py::str(value).cast<std::string>() + " is not an amount",
                         argument);
    }
    const auto fail = [&] {
        return ComFailure(DISP_E_OVERFLOW,
                          py::str(value).cast<std::string>() + " is beyond the currency range", argument);
    };
    const long long shift = exponent.cast<long long>() + 4;
    const std::size_t count = digits.size();
    std::size_t keep = count;
    int roundingDigit = 0;
    if (shift < 0) {
        const auto dropped = static_cast<unsigned long long>(-shift);
        keep = dropped >= count ? 0 : count - static_cast<std::size_t>(dropped);
        if (dropped <= count) roundingDigit = digits[keep].cast<int>();
    }
    // The largest magnitude of the sign: 2^63 - 1, or 2^63 below zero.
    const unsigned long long limit =
        static_cast<unsigned long long>(std::numeric_limits<LONGLONG>::max()) + (negative ? 1 : 0);
    unsigned long long magnitude = 0;
    const auto grow = [&](unsigned digit) {
        if (magnitude > (limit - digit) / 10) throw fail();
        magnitude = magnitude * 10 + digit;
    };
    for (std::size_t i = 0; i < keep; ++i) grow(digits[i].cast<unsigned>());
    for (long long i = 0; i < shift && magnitude != 0; ++i) grow(0);
    if (roundingDigit >= 5) {
        if (magnitude == limit) throw fail();
        ++magnitude;
    }
    return negative ? static_cast<LONGLONG>(0 - magnitude) : static_cast<LONGLONG>(magnitude);
}

py::object OleDateToDatetime(DATE value) {
    if (!std::isfinite(value) || std::fabs(value) > kDateBound) {
        throw ComFailure(DISP_E_OVERFLOW,
                         "the date " + std::to_string(value) + " is beyond the years 1 to 9999");
    }
    // The whole days count from day zero either way; the fraction is the time of that day even for a
    // negative value.
    const double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * static_cast<double>(kMsPerDay));
    sys_days day = kOleEpoch + days{static_cast<long long>(whole)};
    if (ms >= kMsPerDay) {
        day += days{1};
        ms -= kMsPerDay;
    }
    const year_month_day date{day};
    const int y = static_cast<int>(date.year());
    if (y < 1 || y > kMaxYear) {
        throw ComFailure(DISP_E_OVERFLOW,
                         "the date " + std::to_string(value) + " is beyond the years 1 to 9999");
    }
    RequireDatetimeApi();
    PyObject* result =
        PyDateTime_FromDateAndTime(y, static_cast<int>(static_cast<unsigned>(date.month())),
                                   static_cast<int>(static_cast<unsigned>(date.day())),
                                   static_cast<int>(ms / 3'600'000), static_cast<int>(ms / 60'000 % 60),
                                   static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000 * 1000));
    if (result == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

DATE DatetimeToOleDate(py::handle value, int argument) {
    py::object local = py::reinterpret_borrow<py::object>(value);
    // An OLE date has no zone: an aware datetime is taken as the local time it stands for.
    if (PyDateTime_Check(value.ptr()) && !value.attr("tzinfo").is_none()) local = value.attr("astimezone")();
    long long dayCount = 0;
    long long us = 0;
    if (PyDate_Check(local.ptr())) {
        const int y = PyDateTime_GET_YEAR(local.ptr());
        if (y < kMinOleYear) {
            throw ComFailure(
                DISP_E_OVERFLOW,
                "the year " + std::to_string(y) + " is before the year 100 of the automation date", argument);
        }
        const sys_days day = year{y} / month{static_cast<unsigned>(PyDateTime_GET_MONTH(local.ptr()))} /
                             std::chrono::day{static_cast<unsigned>(PyDateTime_GET_DAY(local.ptr()))};
        dayCount = (day - kOleEpoch).count();
    }
    if (PyDateTime_Check(local.ptr())) {
        us = ((PyDateTime_DATE_GET_HOUR(local.ptr()) * 60LL + PyDateTime_DATE_GET_MINUTE(local.ptr())) * 60 +
              PyDateTime_DATE_GET_SECOND(local.ptr())) *
                 1'000'000 +
             PyDateTime_DATE_GET_MICROSECOND(local.ptr());
    } else if (PyTime_Check(local.ptr())) {
        us = ((PyDateTime_TIME_GET_HOUR(local.ptr()) * 60LL + PyDateTime_TIME_GET_MINUTE(local.ptr())) * 60 +
              PyDateTime_TIME_GET_SECOND(local.ptr())) *
                 1'000'000 +
             PyDateTime_TIME_GET_MICROSECOND(local.ptr());
    }
    const double fraction = static_cast<double>(us) / static_cast<double>(kUsPerDay);
    const auto whole = static_cast<double>(dayCount);
    return dayCount >= 0 ? whole + fraction : whole - fraction;
}

py::object SafeArrayToTuple(SAFEARRAY* array) {
    if (array == nullptr) return py::tuple();
    LONG lower = 0;
    LONG upper = -1;
    HRESULT hr = SafeArrayGetLBound(array, 1, &lower);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(array, 1, &upper);
    if (FAILED(hr)) throw ComFailure(hr, "reading an array: " + ResultText(hr));
    py::list items;
    for (LONG i = lower; i <= upper; ++i) {
        OwnedVariant element;
        LONG index = i;
        hr = SafeArrayGetElement(array, &index, element.Get());
        if (FAILED(hr)) throw ComFailure(hr, "reading an array: " + ResultText(hr));
        items.append(FromVariant(*element));
    }
    return py::tuple(items);
}

Bytes BufferBytes(py::handle value) {
    Py_buffer view;
    if (PyObject_GetBuffer(value.ptr(), &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    const auto* begin = static_cast<const std::uint8_t*>(view.buf);
    Bytes bytes(begin, begin + view.len);
    PyBuffer_Release(&view);
    return bytes;
}

}  // namespace

void ToVariant(py::handle value, VARIANT& out, int argument) {
    RequireDatetimeApi();
    PyObject* object = value.ptr();
    if (value.is_none()) {
        out.vt = VT_EMPTY;
    } else if (PyBool_Check(object)) {
        out.vt = VT_BOOL;
        out.boolVal = object == Py_True ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (PyLong_Check(object)) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow != 0) {
            throw ComFailure(DISP_E_OVERFLOW, "the number is beyond 64 bits", argument);
        }
        if (number == -1 && PyErr_Occurred() != nullptr) throw py::error_already_set();
        if (number >= std::numeric_limits<LONG>::min() && number <= std::numeric_limits<LONG>::max()) {
            out.vt = VT_I4;
            out.lVal = static_cast<LONG>(number);
        } else {
            out.vt = VT_I8;
            out.llVal = number;
        }
    } else if (PyFloat_Check(object)) {
        out.vt = VT_R8;
        out.dblVal = PyFloat_AS_DOUBLE(object);
    } else if (PyObject_IsInstance(object, DecimalType().ptr()) == 1) {
        out.cyVal.int64 = DecimalToCurrency(value, argument);
        out.vt = VT_CY;
    } else if (PyUnicode_Check(object)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
        if (utf8 == nullptr) throw py::error_already_set();
        out.bstrVal = Utf8ToBstr({utf8, static_cast<std::size_t>(size)}).release();
        out.vt = VT_BSTR;
    } else if (PyBytes_Check(object) || PyByteArray_Check(object) || PyMemoryView_Check(object)) {
        out.bstrVal = BytesToBstr(BufferBytes(value)).release();
        out.vt = VT_BSTR;
    } else if (PyDate_Check(object) || PyTime_Check(object)) {
        out.date = DatetimeToOleDate(value, argument);
        out.vt = VT_DATE;
    } else if (IDispatch* dispatch = DispatchOf(value)) {
        dispatch->AddRef();
        out.pdispVal = dispatch;
        out.vt = VT_DISPATCH;
    } else {
        throw py::type_error("a " + py::str(value.get_type().attr("__name__")).cast<std::string>() +
                             " has no VARIANT form");
    }
}

py::object FromVariant(const VARIANT& value, bool bytes) {
    if ((value.vt & VT_BYREF) != 0) {
        OwnedVariant target;
        const HRESULT hr = VariantCopyInd(target.Get(), &value);
        if (FAILED(hr)) throw ComFailure(hr, "reading a value by reference: " + ResultText(hr));
        return FromVariant(*target, bytes);
    }
    if (value.vt == (VT_ARRAY | VT_VARIANT)) return SafeArrayToTuple(value.parray);
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return py::none();
        case VT_I1:
            return py::int_(static_cast<signed char>(value.cVal));
        case VT_UI1:
            return py::int_(value.bVal);
        case VT_I2:
            return py::int_(value.iVal);
        case VT_UI2:
            return py::int_(value.uiVal);
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
            return py::int_(value.lVal);
        case VT_UI4:
        case VT_UINT:
            return py::int_(value.ulVal);
        case VT_I8:
            return py::int_(value.llVal);
        case VT_UI8:
            return py::int_(value.ullVal);
        case VT_R4:
            return py::float_(value.fltVal);
        case VT_R8:
            return py::float_(value.dblVal);
        case VT_BOOL:
            return py::bool_(value.boolVal != VARIANT_FALSE);
        case VT_CY:
            return CurrencyToDecimal(value.cyVal.int64);
        case VT_DATE:
            return OleDateToDatetime(value.date);
        case VT_BSTR:
            if (bytes) {
                const Bytes raw = BstrToBytes(value.bstrVal);
                return py::bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
            }
            return py::str(BstrToUtf8(value.bstrVal));
        case VT_DISPATCH:
            if (value.pdispVal == nullptr) return py::none();
            return WrapDispatch(ComPtr<IDispatch>(value.pdispVal), "IDispatch");
        case VT_UNKNOWN: {
            if (value.punkVal == nullptr) return py::none();
            ComPtr<IDispatch> dispatch;
            if (SUCCEEDED(value.punkVal->QueryInterface(IID_IDispatch, dispatch.PutVoid())) && dispatch)
                return WrapDispatch(std::move(dispatch), "IUnknown");
            break;
        }
        default:
            break;
    }
    throw ComFailure(DISP_E_BADVARTYPE,
                     "a VARIANT of type " + std::to_string(value.vt) + " has no Python form");
}

}  // namespace tessel::python
