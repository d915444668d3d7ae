#pragma once
// A parameter's text and the value its property takes, both ways, by the parameter's type code:
//   0 integer   decimal text <-> 32-bit integer
//   1 string    as it is
//   2 hex       hex text <-> bytes, one character per byte ("01 02 AB ")
//   3 date      the short date format <-> a date
//   4 time      the time format <-> a time of day (on day zero)
//   5 money     decimal text <-> currency, shown in the shortest decimal form
//   6 quantity  decimal text <-> double, shown in the shortest decimal form
//   other       as a string
// Decimal text takes a point or a comma and is written with a point.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/com/OleAuto.h"
#include "common/platform/Bytes.h"
#include "common/platform/HexText.h"

namespace tessel::cmd {

// Type codes of a parameter's value.
enum TCmdParamType : int {
    ptInteger = 0,   // decimal text, a 32-bit integer
    ptString = 1,    // text as it is
    ptHex = 2,       // a byte string shown as hex text ("01 02 AB ")
    ptDate = 3,      // a date in the short date format
    ptTime = 4,      // a time of day in the time format
    ptMoney = 5,     // an amount of money, decimal text
    ptQuantity = 6,  // a quantity or other real number, decimal text
};

// A text that does not convert to its type; the message says why, in words for the user.
class ECmdConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A VARIANT that frees what it holds when it goes.
struct TVariant {
    VARIANT v;
    TVariant() { VariantInit(&v); }
    ~TVariant() { VariantClear(&v); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
};

// How dates and times are written and read. The window gives the locale's short formats; the base class
// has the forms of the Russian locale, "dd.MM.yyyy" and "HH:mm:ss", which are also the choice when no locale
// names others.
class TCmdDateForms {
  public:
    virtual ~TCmdDateForms() = default;
    // The date of `value` / its time of day, rounded to the second. Empty for a value that is no date.
    virtual std::string DateText(DATE value) const;
    virtual std::string TimeText(DATE value) const;
    // A date (whole days) / a time of day (a fraction of day zero); nothing for text that is not one.
    virtual std::optional<DATE> ParseDate(std::string_view text) const;
    virtual std::optional<DATE> ParseTime(std::string_view text) const;
    // The local date and time now.
    virtual DATE Now() const;
};

// Strict decimal integer: blanks around, an optional sign, digits, within 32 bits.
std::optional<std::int32_t> ParseInteger(std::string_view text);
// An amount of 1/10000 units (more decimals round half to even, as automation rounds); nothing for text
// that is not a number or an amount beyond the currency's range.
std::optional<LONGLONG> ParseMoney(std::string_view text);
// A decimal number, with an exponent if need be; nothing for text that is not one.
std::optional<double> ParseQuantity(std::string_view text);
// The amount in the shortest decimal form: 125000 -> "12.5", 0 -> "0".
std::string MoneyText(LONGLONG amount);
// The shortest decimal form that reads back as the same double, without exponent.
std::string QuantityText(double value);

// The value the property takes for `text` of type `type`, into `out` (cleared first). Throws ECmdConvertError
// when the text does not convert.
void TextToVariant(int type, std::string_view text, const TCmdDateForms& forms, VARIANT& out);
// A property's value as the text of type `type`. Throws ECmdConvertError when the value has no such form.
std::string VariantToText(int type, const VARIANT& value, const TCmdDateForms& forms);

// The default text of a date or time parameter: now, in its type's form.
std::string NowText(int type, const TCmdDateForms& forms);

}  // namespace tessel::cmd
