#include "driver/commands/untPaymentCommands.h"

#include "driver/commands/untLayout.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::At;
using layout::SameClass;

constexpr std::size_t kTaxWidth = 5;
// The cash operations carry a wider sum than any receipt request.
constexpr std::size_t kCashWidth = 6;

}  // namespace

// ---- 90h and 91h request ----

Bytes TReceiptEndCommand::EncodeRequest() const {
    Bytes out{OperatorNumber, RegType, ECRDay, ECRMonth, ECRYear, ECRHour, ECRMin, ECRSec};
    AppendBytes(out, EncodeU16(DocumentNumber));
    AppendBytes(out, EncodeU16(ReceiptNumber));
    return out;
}

void TReceiptEndCommand::DecodeRequest(const Bytes& data) {
    OperatorNumber = DecodeU8(data, At(0));
    RegType = DecodeU8(data, At(1));
    ECRDay = DecodeU8(data, At(2));
    ECRMonth = DecodeU8(data, At(3));
    ECRYear = DecodeU8(data, At(4));
    ECRHour = DecodeU8(data, At(5));
    ECRMin = DecodeU8(data, At(6));
    ECRSec = DecodeU8(data, At(7));
    DocumentNumber = DecodeU16(data, At(8));
    ReceiptNumber = DecodeU16(data, At(10));
}

void TReceiptEndCommand::SaveRequest(TECRDrvData& data) const {
    data.OperatorNumber = OperatorNumber;
    data.RegType = RegType;
    data.ECRDay = ECRDay;
    data.ECRMonth = ECRMonth;
    data.ECRYear = ECRYear;
    data.ECRHour = ECRHour;
    data.ECRMin = ECRMin;
    data.ECRSec = ECRSec;
    data.DocumentNumber = DocumentNumber;
    data.ReceiptNumber = ReceiptNumber;
}

void TReceiptEndCommand::LoadRequest(const TECRDrvData& data) {
    OperatorNumber = data.OperatorNumber;
    RegType = data.RegType;
    ECRDay = data.ECRDay;
    ECRMonth = data.ECRMonth;
    ECRYear = data.ECRYear;
    ECRHour = data.ECRHour;
    ECRMin = data.ECRMin;
    ECRSec = data.ECRSec;
    DocumentNumber = KeepLowBits<std::uint16_t>(data.DocumentNumber);
    ReceiptNumber = data.ReceiptNumber;
}

void TReceiptEndCommand::AssignRequest(const TReceiptEndCommand& source) {
    OperatorNumber = source.OperatorNumber;
    RegType = source.RegType;
    ECRDay = source.ECRDay;
    ECRMonth = source.ECRMonth;
    ECRYear = source.ECRYear;
    ECRHour = source.ECRHour;
    ECRMin = source.ECRMin;
    ECRSec = source.ECRSec;
    DocumentNumber = source.DocumentNumber;
    ReceiptNumber = source.ReceiptNumber;
}

// ---- 90h ----

Bytes TCommand90h::EncodeAnswer() const {
    Bytes out = EncodeMoneyField(TaxSumm1, kTaxWidth);
    AppendBytes(out, EncodeMoneyField(TaxSumm2, kTaxWidth));
    AppendBytes(out, EncodeMoneyField(TaxSumm3, kTaxWidth));
    AppendBytes(out, EncodeMoneyField(TaxSumm4, kTaxWidth));
    return out;
}

void TCommand90h::DecodeAnswer(const Bytes& data) {
    TaxSumm1 = DecodeMoney(data, At(0), kTaxWidth);
    TaxSumm2 = DecodeMoney(data, At(5), kTaxWidth);
    TaxSumm3 = DecodeMoney(data, At(10), kTaxWidth);
    TaxSumm4 = DecodeMoney(data, At(15), kTaxWidth);
}

void TCommand90h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        SaveRequest(data);
    } else {
        data.TaxSumm1 = TaxSumm1;
        data.TaxSumm2 = TaxSumm2;
        data.TaxSumm3 = TaxSumm3;
        data.TaxSumm4 = TaxSumm4;
    }
}

void TCommand90h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        LoadRequest(data);
    } else {
        TaxSumm1 = data.TaxSumm1;
        TaxSumm2 = data.TaxSumm2;
        TaxSumm3 = data.TaxSumm3;
        TaxSumm4 = data.TaxSumm4;
    }
}

void TCommand90h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand90h>(source)) {
        AssignRequest(*s);
        TaxSumm1 = s->TaxSumm1;
        TaxSumm2 = s->TaxSumm2;
        TaxSumm3 = s->TaxSumm3;
        TaxSumm4 = s->TaxSumm4;
    }
}

// ---- 91h ----

void TCommand91h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) SaveRequest(data);
}

void TCommand91h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) LoadRequest(data);
}

void TCommand91h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand91h>(source)) AssignRequest(*s);
}

// ---- 50h, 51h, 52h ----

Bytes TCommand5xh::EncodeRequest() const {
    Bytes out = EncodeMoneyField(Summ, kCashWidth);
    AppendBytes(out, Bytes{ECRDay, ECRMonth, ECRYear, ECRHour, ECRMin, ECRSec, OperatorNumber});
    AppendBytes(out, EncodeU16(DocumentNumber));
    AppendBytes(out, EncodeU16(OperationNumber));
    return out;
}

void TCommand5xh::DecodeRequest(const Bytes& data) {
    Summ = DecodeMoney(data, At(0), kCashWidth);
    ECRDay = DecodeU8(data, At(6));
    ECRMonth = DecodeU8(data, At(7));
    ECRYear = DecodeU8(data, At(8));
    ECRHour = DecodeU8(data, At(9));
    ECRMin = DecodeU8(data, At(10));
    ECRSec = DecodeU8(data, At(11));
    OperatorNumber = DecodeU8(data, At(12));
    DocumentNumber = DecodeU16(data, At(13));
    OperationNumber = DecodeU16(data, At(15));
}

void TCommand5xh::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.Summ = Summ;
    data.ECRDay = ECRDay;
    data.ECRMonth = ECRMonth;
    data.ECRYear = ECRYear;
    data.ECRHour = ECRHour;
    data.ECRMin = ECRMin;
    data.ECRSec = ECRSec;
    data.OperatorNumber = OperatorNumber;
    data.DocumentNumber = DocumentNumber;
    data.OperationNumber = OperationNumber;
}

void TCommand5xh::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    Summ = data.Summ;
    ECRDay = data.ECRDay;
    ECRMonth = data.ECRMonth;
    ECRYear = data.ECRYear;
    ECRHour = data.ECRHour;
    ECRMin = data.ECRMin;
    ECRSec = data.ECRSec;
    OperatorNumber = data.OperatorNumber;
    DocumentNumber = KeepLowBits<std::uint16_t>(data.DocumentNumber);
    OperationNumber = KeepLowBits<std::uint16_t>(data.OperationNumber);
}

void TCommand5xh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand5xh>(source)) {
        Summ = s->Summ;
        ECRDay = s->ECRDay;
        ECRMonth = s->ECRMonth;
        ECRYear = s->ECRYear;
        ECRHour = s->ECRHour;
        ECRMin = s->ECRMin;
        ECRSec = s->ECRSec;
        OperatorNumber = s->OperatorNumber;
        DocumentNumber = s->DocumentNumber;
        OperationNumber = s->OperationNumber;
    }
}
