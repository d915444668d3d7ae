#pragma once
// Values between the platform and the driver: the platform's tVariant and the VARIANT the driver's dispatch
// takes and gives. Numbers stay numbers (money, a currency, becomes a number with its four decimals),
// strings are UTF-16 both ways, booleans are the platform's booleans, dates travel as calendar parts.

#include <string_view>

#include "common/com/OleAuto.h"
#include "driver/native1c/NativeApi.h"

#include <string>
#include <type_traits>

static_assert(std::is_same_v<OLECHAR, WCHAR_T>, "the driver's and the platform's strings share one unit");

using NativeText = std::basic_string_view<WCHAR_T>;

// The platform's `value` as a VARIANT of the nearest automation type (integers as VT_I4, or VT_R8 beyond its
// range; binary data as a byte string, one character per byte). False, with `out` left empty, for a kind the
// driver has no use for (an interface, an array) or a date that names no calendar day. `out` must be empty.
// Throws std::bad_alloc when memory runs out.
bool FromNativeValue(const tVariant& value, VARIANT& out);

// The driver's `value` as the platform's, its text allocated through `memory`. VT_EMPTY gives VTYPE_EMPTY.
// False, with `out` VTYPE_EMPTY, when the memory manager refuses or the type has no counterpart (a date that
// cannot be split among them).
bool ToNativeValue(const VARIANT& value, tVariant& out, IMemoryManager& memory);

// A NUL-terminated copy of `text` in the platform's memory; null when the memory manager refuses.
WCHAR_T* NativeString(NativeText text, IMemoryManager& memory);
// The same of UTF-8 text. Throws std::bad_alloc when memory of the component's own runs out.
WCHAR_T* NativeString(std::string_view utf8, IMemoryManager& memory);

// UTF-8 of a NUL-terminated platform string (null gives "").
std::string Utf8FromNative(const WCHAR_T* text);
