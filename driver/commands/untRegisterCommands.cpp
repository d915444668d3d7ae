#include "driver/commands/untRegisterCommands.h"

#include "driver/commands/untLayout.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::At;
using layout::SameClass;

constexpr std::size_t kMoneyWidth = 6;

}  // namespace

// ---- 1Ah ----

Bytes TCommand1Ah::EncodeRequest() const {
    return EncodeU16(RegisterNumber);
}

Bytes TCommand1Ah::EncodeAnswer() const {
    return EncodeMoney(CashRegister, kMoneyWidth);
}

void TCommand1Ah::DecodeRequest(const Bytes& data) {
    RegisterNumber = DecodeU16(data, At(0));
}

void TCommand1Ah::DecodeAnswer(const Bytes& data) {
    CashRegister = DecodeMoney(data, At(0), kMoneyWidth);
}

void TCommand1Ah::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegisterNumber = RegisterNumber;
    } else {
        data.CashRegister = CashRegister;
    }
}

void TCommand1Ah::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegisterNumber = KeepLowBits<std::uint16_t>(data.RegisterNumber);
    } else {
        CashRegister = data.CashRegister;
    }
}

void TCommand1Ah::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Ah>(source)) {
        RegisterNumber = s->RegisterNumber;
        CashRegister = s->CashRegister;
    }
}

// ---- 1Bh ----

Bytes TCommand1Bh::EncodeRequest() const {
    return EncodeU16(RegisterNumber);
}

Bytes TCommand1Bh::EncodeAnswer() const {
    return EncodeU16(OperationRegister);
}

void TCommand1Bh::DecodeRequest(const Bytes& data) {
    RegisterNumber = DecodeU16(data, At(0));
}

void TCommand1Bh::DecodeAnswer(const Bytes& data) {
    OperationRegister = DecodeU16(data, At(0));
}

void TCommand1Bh::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegisterNumber = RegisterNumber;
    } else {
        data.OperationRegister = OperationRegister;
    }
}

void TCommand1Bh::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegisterNumber = KeepLowBits<std::uint16_t>(data.RegisterNumber);
    } else {
        OperationRegister = KeepLowBits<std::uint16_t>(data.OperationRegister);
    }
}

void TCommand1Bh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Bh>(source)) {
        RegisterNumber = s->RegisterNumber;
        OperationRegister = s->OperationRegister;
    }
}

// ---- 1Ch ----

Bytes TCommand1Ch::EncodeRequest() const {
    return EncodeU16(RegisterNumber);
}

Bytes TCommand1Ch::EncodeAnswer() const {
    return EncodeI32(RestRegister);
}

void TCommand1Ch::DecodeRequest(const Bytes& data) {
    RegisterNumber = DecodeU16(data, At(0));
}

void TCommand1Ch::DecodeAnswer(const Bytes& data) {
    RestRegister = DecodeI32(data, At(0));
}

void TCommand1Ch::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegisterNumber = RegisterNumber;
    } else {
        data.RestRegister = RestRegister;
    }
}

void TCommand1Ch::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegisterNumber = KeepLowBits<std::uint16_t>(data.RegisterNumber);
    } else {
        RestRegister = data.RestRegister;
    }
}

void TCommand1Ch::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Ch>(source)) {
        RegisterNumber = s->RegisterNumber;
        RestRegister = s->RestRegister;
    }
}

// ---- 1Dh ----

Bytes TCommand1Dh::EncodeRequest() const {
    Bytes out = EncodeU16(RegisterNumber);
    AppendBytes(out, EncodeI32(RestRegister));
    return out;
}

void TCommand1Dh::DecodeRequest(const Bytes& data) {
    RegisterNumber = DecodeU16(data, At(0));
    RestRegister = DecodeI32(data, At(2));
}

void TCommand1Dh::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.RegisterNumber = RegisterNumber;
    data.RestRegister = RestRegister;
}

void TCommand1Dh::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    RegisterNumber = KeepLowBits<std::uint16_t>(data.RegisterNumber);
    RestRegister = data.RestRegister;
}

void TCommand1Dh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Dh>(source)) {
        RegisterNumber = s->RegisterNumber;
        RestRegister = s->RestRegister;
    }
}

// ---- 20h ----

Bytes TCommand20h::EncodeRequest() const {
    return EncodeU8(PositionOfPoint);
}

void TCommand20h::DecodeRequest(const Bytes& data) {
    PositionOfPoint = DecodeU8(data, At(0));
}

void TCommand20h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) data.PositionOfPoint = PositionOfPoint;
}

void TCommand20h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) PositionOfPoint = KeepLowBits<std::uint8_t>(data.PositionOfPoint);
}

void TCommand20h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand20h>(source)) PositionOfPoint = s->PositionOfPoint;
}

// ---- 21h ----

Bytes TCommand21h::EncodeRequest() const {
    return Bytes{ECRHour, ECRMin, ECRSec};
}

void TCommand21h::DecodeRequest(const Bytes& data) {
    ECRHour = DecodeU8(data, At(0));
    ECRMin = DecodeU8(data, At(1));
    ECRSec = DecodeU8(data, At(2));
}

void TCommand21h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.ECRHour = ECRHour;
    data.ECRMin = ECRMin;
    data.ECRSec = ECRSec;
}

void TCommand21h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    ECRHour = data.ECRHour;
    ECRMin = data.ECRMin;
    ECRSec = data.ECRSec;
}

void TCommand21h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand21h>(source)) {
        ECRHour = s->ECRHour;
        ECRMin = s->ECRMin;
        ECRSec = s->ECRSec;
    }
}

// ---- 22h ----

Bytes TCommand22h::EncodeRequest() const {
    return Bytes{ECRDay, ECRMonth, ECRYear};
}

void TCommand22h::DecodeRequest(const Bytes& data) {
    ECRDay = DecodeU8(data, At(0));
    ECRMonth = DecodeU8(data, At(1));
    ECRYear = DecodeU8(data, At(2));
}

void TCommand22h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.ECRDay = ECRDay;
    data.ECRMonth = ECRMonth;
    data.ECRYear = ECRYear;
}

void TCommand22h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    ECRDay = data.ECRDay;
    ECRMonth = data.ECRMonth;
    ECRYear = data.ECRYear;
}

void TCommand22h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand22h>(source)) {
        ECRDay = s->ECRDay;
        ECRMonth = s->ECRMonth;
        ECRYear = s->ECRYear;
    }
}
