#pragma once
// The register's money, operation and rest registers as the test program reads them, and the text lines of
// the rest registers page.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tester/Driver.h"

namespace tessel::tst {

// The register's result for a register number it does not have: the end of a list read in order.
inline constexpr LONG kNoSuchRegister = 129;
// The last register number the requests can carry (two bytes).
inline constexpr int kLastRegisterNumber = 65535;

// One register read: its number and its value as shown.
struct TECRRegister {
    int Number = 0;
    std::string Value;
    bool operator==(const TECRRegister&) const = default;
};

// A kind of registers with the ones read so far: its title, the operation that reads one (after
// RegisterNumber), the property that then holds the value, and how the value is shown.
class TECRRegisters {
  public:
    virtual ~TECRRegisters() = default;
    virtual const char* Title() const = 0;
    virtual const char* ReadMethod() const = 0;
    virtual const char* ValueProperty() const = 0;

    // Reads register `number` (checked) and adds it to the list. Raises EDriverError for a failing read.
    const TECRRegister& Read(TDriver& driver, int number);
    // Reads registers 0, 1, 2, ... until a read fails, `stopped` says so or the last number is read; each
    // register goes to `onRead` as well. The register's kNoSuchRegister ends the list normally; any other
    // failing result raises EDriverError (the registers before it stay read).
    void ReadAll(TDriver& driver, const std::function<bool()>& stopped,
                 const std::function<void(const TECRRegister&)>& onRead);

    const std::vector<TECRRegister>& Items() const { return items_; }
    void Clear() { items_.clear(); }

  protected:
    // The value property's value as shown.
    virtual std::string ValueText(TDriver& driver) const = 0;

  private:
    std::vector<TECRRegister> items_;
};

// Money, shown as a decimal with up to four fraction digits.
class TCashRegisters final : public TECRRegisters {
  public:
    const char* Title() const override { return "Денежные регистры"; }
    const char* ReadMethod() const override { return "GetCashReg"; }
    const char* ValueProperty() const override { return "CashRegister"; }

  protected:
    std::string ValueText(TDriver& driver) const override;
};

// Operation counters, 16-bit, in decimal.
class TOptnRegisters final : public TECRRegisters {
  public:
    const char* Title() const override { return "Операционные регистры"; }
    const char* ReadMethod() const override { return "GetOperationReg"; }
    const char* ValueProperty() const override { return "OperationRegister"; }

  protected:
    std::string ValueText(TDriver& driver) const override;
};

// Goods balances, as a floating-point decimal.
class TRestRegisters final : public TECRRegisters {
  public:
    const char* Title() const override { return "Регистры остатков"; }
    const char* ReadMethod() const override { return "GetRestReg"; }
    const char* ValueProperty() const override { return "RestRegister"; }

  protected:
    std::string ValueText(TDriver& driver) const override;
};

// "%.2d: %s": a register read, as the register values page lists it.
std::string RegisterLine(const TECRRegister& r);

// ---- The rest registers page's lines: "%.4d: %s", the value in thousandths shown as a decimal ----

// A line of the rest registers page that cannot be written; the message names the line, counted from 1.
class ERestLineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "0012: 1.5" for register 12 holding 1500.
std::string RestLine(int number, std::int32_t thousandths);
// The thousandths shown as a decimal: 1500 -> "1.5", -250 -> "-0.25", 0 -> "0".
std::string ThousandthsText(std::int32_t thousandths);
// A decimal (a point or a comma) in thousandths, further digits truncated: "1,2349" -> 1234. Nothing for
// text that is no decimal or lies beyond 32 bits.
std::optional<std::int32_t> ParseThousandths(std::string_view text);

// What a line asks to write: characters 1-4 are the register number, characters 7 onward the value; a
// number of five digits takes the fifth character too, and its value starts two characters later.
struct TRestWrite {
    int Number = 0;
    std::int32_t Value = 0;  // thousandths
    bool operator==(const TRestWrite&) const = default;
};
// The writes of the page's lines in order; blank lines are skipped. Throws ERestLineError for the first line
// that is not "NNNN: value" with a number within the requests' range.
std::vector<TRestWrite> ParseRestLines(std::string_view text);

}  // namespace tessel::tst
