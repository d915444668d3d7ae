#pragma once
// Result codes and their texts, and the exception that carries a driver-side failure to the boundary of an
// operation, where it becomes ResultCode and ResultDescription.

#include <cstdint>
#include <stdexcept>
#include <string>

// Driver-side result codes: negative, never sent on the line.
enum DriverResult : std::int32_t {
    E_OK = 0,
    E_NOCONNECTION = -1,
    E_PORTUNAVAILABLE = -3,
    E_USERBREAK = -5,
    E_INVALIDVALUE = -6,
    E_ADDDEVICE = -7,
    E_DELETEDEVICE = -8,
    E_LDNOTFOUND = -9,
    E_PORTBUSY = -14,
    E_CRC = -15,
    E_COMMANDNOTFOUND = -16,
    E_UNKNOWN = -199,
};

// A driver-side failure: a result code and its message.
class EDriverError : public std::runtime_error {
  public:
    // The message is the driver text of `code`.
    explicit EDriverError(std::int32_t code);
    // Inline, so that the engines that reach the driver only through its interface can raise it without
    // linking the driver's core.
    EDriverError(std::int32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}

    std::int32_t ErrorCode() const { return code_; }

  private:
    std::int32_t code_;
};

// Text of a register result byte; codes without a text read "Ошибка ККМ: %d".
std::string GetResultText(std::int32_t code);
// Text of a driver-side code (0 and the negative codes); any other code reads "Неопознанная ошибка".
std::string GetDriverErrorText(std::int32_t code);
// Text of any result: driver text for 0 and below, register text above.
std::string GetResultDescription(std::int32_t code);

// The plain (code-less) error a decoder raises for a block shorter than its layout.
class EDataLength : public std::runtime_error {
  public:
    EDataLength() : std::runtime_error("Неверная длина данных") {}
};
