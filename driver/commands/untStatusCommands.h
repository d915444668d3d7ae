#pragma once
// Status, information and exchange-setting commands: memory dump (01h), flag name (10h), register status
// (11h), fiscal memory status (12h), beep (13h), the register's port parameters (14h, 15h) and device type
// (FCh).
//
// Each class is described by its field table (FieldCommand.h), which serves both directions: the driver
// encodes requests and decodes answers, the register emulator decodes requests and encodes answers. Request
// and answer fields live side by side. Encoders fail only where a class says so.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/commands/CommonFields.h"

// 01h, "Запрос дампа": one 32-byte block of a device's memory, kept byte for byte (00h included); written
// from DataBlock cut at 32 bytes and filled with 00h.
class TCommand01h final : public TFieldCommand<TCommand01h> {
  public:
    static constexpr std::size_t kBlockSize = 32;
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t DeviceNumber = 0;
    std::uint16_t DataBlockNumber = 0;
    // Answer
    std::uint16_t DataBlockCount = 0;
    Bytes DataBlock;
};

// 10h, "Запрос флагов": the name of one bit of the flag word.
class TCommand10h final : public TFieldCommand<TCommand10h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t FlagNumber = 0;
    // Answer
    std::string FlagName;
};

// 11h, "Запрос состояния ККМ": operator, firmware, document number, flags, mode and the register's clock.
class TCommand11h final : public TFieldCommand<TCommand11h>, public TClockBytes {
  public:
    static std::span<const TField> FieldTable();

    // Answer
    std::uint8_t OperatorNumber = 0;
    std::string ECRSoftVersion;
    std::uint16_t ECRSoftBuild = 0;
    std::uint8_t ECRSoftDay = 0;
    std::uint8_t ECRSoftMonth = 0;
    std::uint8_t ECRSoftYear = 0;
    std::uint16_t DocumentNumber = 0;
    std::uint16_t ECRFlags = 0;
    std::uint8_t ECRMode = 0;
    std::uint8_t ECRAdvancedMode = 0;
    std::uint8_t ECRPortNumber = 0;
    // and the clock bytes
};

// 12h, "Запрос состояния ФП": fiscal memory firmware, counters and the three identities (serial number,
// taxpayer number, ЭКЛЗ number). An identity of all FFh bytes was never entered: its Valid flag is false and
// its text "не введен"; any other value reads as its 2N digits, leading zeros kept. Written back, an identity
// whose Valid flag is false goes out as FFh bytes and an entered one as the BCD of its text read as a decimal
// number (a text that is no number reads 0); an entered identity that is negative or has more digits than its
// field holds (8, 12, 10) fails with EDriverError(E_INVALIDVALUE) rather than going out as another number.
class TCommand12h final : public TFieldCommand<TCommand12h> {
  public:
    // The text of an identity that was never entered.
    static constexpr const char* kNotEntered = "не введен";
    static std::span<const TField> FieldTable();

    // Answer
    std::string FMSoftVersion;
    std::uint16_t FMSoftBuild = 0;
    std::string SerialNumber;
    bool SerialNumberValid = false;
    std::uint16_t SessionNumber = 0;
    std::uint16_t FreeRecordInFM = 0;
    std::uint8_t RegistrationNumber = 0;
    std::uint8_t FreeRegistration = 0;
    std::string INN;
    bool INNValid = false;
    std::uint8_t ActivizationNumber = 0;
    std::uint8_t FreeActivization = 0;
    std::string EKLZNumber;
    bool EKLZNumberValid = false;
};

// 13h, "Гудок": no data either way; the register sounds its beeper.
class TCommand13h final : public TFieldCommand<TCommand13h> {
  public:
    static std::span<const TField> FieldTable();
};

// 14h, "Установка параметров": speed and time-out of one of the register's ports.
class TCommand14h final : public TFieldCommand<TCommand14h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t ECRPortNumber = 0;
    std::uint8_t ECRBaudRate = 0;
    std::uint8_t ECRTimeout = 0;
};

// 15h, "Чтение параметров": speed and time-out of one of the register's ports.
class TCommand15h final : public TFieldCommand<TCommand15h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t ECRPortNumber = 0;
    // Answer
    std::uint8_t ECRBaudRate = 0;
    std::uint8_t ECRTimeout = 0;
};

// FCh, "Получение типа устройства": type, protocol, model, code page and the device's name. The name follows
// the six bytes in Windows-1251, as long as it is (the frame's limit is the caller's to check); read, it
// loses leading and trailing blanks and control characters, and an answer of exactly six bytes gives empty
// text.
class TCommandFCh final : public TFieldCommand<TCommandFCh> {
  public:
    static std::span<const TField> FieldTable();

    // Answer
    std::uint8_t UMajorType = 0;
    std::uint8_t UMinorType = 0;
    std::uint8_t UMajorProtocolVersion = 0;
    std::uint8_t UMinorProtocolVersion = 0;
    std::uint8_t UModel = 0;
    std::uint8_t UCodePage = 0;
    std::string UDescription;
};
