#pragma once
// Status, information and exchange-setting commands: memory dump (01h), flag name (10h), register status
// (11h), fiscal memory status (12h), beep (13h), the register's port parameters (14h, 15h) and device type
// (FCh).
//
// Every class serves both directions: the driver encodes requests and decodes answers, the register emulator
// and the command tester decode requests and encode answers. Request and answer fields live side by side.
//
// Common promises of these classes:
// - RequestLength / AnswerLength give 1 + the request block and 2 + the fixed part of the answer block.
// - Decoders read at most the block they are given; a field beyond a short block reads as 0 or ends early
//   (SetFrame refuses short blocks before decoding, so decoded objects keep their initial fields then).
// - SaveToDriver copies the request fields for a request object and the answer fields for an answer object
//   into the record; LoadFromDriver copies the same properties back, keeping the low bits of a property
//   wider than its field (a block number of 65536 goes out as 0).
// - Assign copies the base fields from any command, and the own fields only from an object of the same
//   class.
// Encoders fail only where a class says so.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/link/untCommand.h"

// 01h, "Запрос дампа": one 32-byte block of a device's memory.
class TCommand01h : public TCommand {
  public:
    static constexpr std::size_t kBlockSize = 32;

    int RequestLength() const override { return 1 + 3; }
    int AnswerLength() const override { return 2 + 34; }
    Bytes EncodeRequest() const override;
    // DataBlock goes out cut at 32 bytes and filled with 00h.
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    // DataBlock keeps the 32 bytes as they are, 00h included.
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t DeviceNumber = 0;
    std::uint16_t DataBlockNumber = 0;
    // Answer
    std::uint16_t DataBlockCount = 0;
    Bytes DataBlock;
};

// 10h, "Запрос флагов": the name of one bit of the flag word.
class TCommand10h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 1; }
    int AnswerLength() const override { return 2 + 20; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t FlagNumber = 0;
    // Answer
    std::string FlagName;
};

// 11h, "Запрос состояния ККМ": operator, firmware, document number, flags, mode and the register's clock.
class TCommand11h : public TCommand {
  public:
    int AnswerLength() const override { return 2 + 21; }
    Bytes EncodeAnswer() const override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

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
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
};

// 12h, "Запрос состояния ФП": fiscal memory firmware, counters and the three identities (serial number,
// taxpayer number, ЭКЛЗ number). An identity of all FFh bytes was never entered: its Valid flag is false and
// its text "не введен"; any other value reads as its 2N digits, leading zeros kept.
class TCommand12h : public TCommand {
  public:
    // The text of an identity that was never entered.
    static constexpr const char* kNotEntered = "не введен";

    int AnswerLength() const override { return 2 + 28; }
    // An identity whose Valid flag is false goes out as FFh bytes; an entered one as the BCD of its text read
    // as a decimal number (a text that is no number reads 0). An entered identity that is negative or has
    // more digits than its field holds (8, 12, 10) fails with EDriverError(E_INVALIDVALUE) rather than going
    // out as another number.
    Bytes EncodeAnswer() const override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

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
class TCommand13h : public TCommand {};

// 14h, "Установка параметров": speed and time-out of one of the register's ports.
class TCommand14h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 3; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t ECRPortNumber = 0;
    std::uint8_t ECRBaudRate = 0;
    std::uint8_t ECRTimeout = 0;
};

// 15h, "Чтение параметров": speed and time-out of one of the register's ports.
class TCommand15h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 1; }
    int AnswerLength() const override { return 2 + 2; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t ECRPortNumber = 0;
    // Answer
    std::uint8_t ECRBaudRate = 0;
    std::uint8_t ECRTimeout = 0;
};

// FCh, "Получение типа устройства": type, protocol, model, code page and the device's name.
class TCommandFCh : public TCommand {
  public:
    int AnswerLength() const override { return 2 + 6; }
    // The name goes out in Windows-1251 after the six bytes, as long as it is (the frame's limit is the
    // caller's to check).
    Bytes EncodeAnswer() const override;
    // The name is the tail after the six bytes without leading and trailing blanks and control characters;
    // an answer of exactly six bytes gives empty text.
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Answer
    std::uint8_t UMajorType = 0;
    std::uint8_t UMinorType = 0;
    std::uint8_t UMajorProtocolVersion = 0;
    std::uint8_t UMinorProtocolVersion = 0;
    std::uint8_t UModel = 0;
    std::uint8_t UCodePage = 0;
    std::string UDescription;
};
