#include "driver/commands/untSaleCommands.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "common/platform/CodePage.h"
#include "driver/commands/untLayout.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/engine/untError.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::At;
using layout::SameClass;

// Article and discount codes are five bytes wide.
constexpr std::size_t kCodeWidth = 5;
// Every sum and quantity of these requests is five bytes wide.
constexpr std::size_t kWidth = 5;

// A count that its unsigned field cannot carry would go out as another number: refuse it.
Bytes EncodeCount(std::int64_t count, std::size_t width) {
    if (width == 0 || width >= kMaxIntWidth) throw std::invalid_argument("Invalid counted field width");
    const std::int64_t largest = (std::int64_t{1} << (8 * width)) - 1;
    if (count < 0 || count > largest) throw EDriverError(E_INVALIDVALUE);
    return EncodeInt(count, width);
}

// The low five bytes of the code read as a decimal number; a text that is no whole number sends 0.
Bytes EncodeCode(const std::string& code) {
    return EncodeInt(NumberTextToInt(code), kCodeWidth);
}

std::string DecodeCode(const Bytes& block, std::size_t pos) {
    return std::to_string(DecodeInt(block, pos, kCodeWidth));
}

void AppendText(Bytes& out, const std::string& text) {
    const std::string cp = tessel::Utf8ToCp1251(text);
    out.insert(out.end(), cp.begin(), cp.end());
}

// The bytes from `offset` to the block's end.
std::string_view Tail(const Bytes& block, std::size_t offset) {
    if (offset >= block.size()) return {};
    return {reinterpret_cast<const char*>(block.data()) + offset, block.size() - offset};
}

// A frame's block never exceeds the text codec's widest field; a longer one from elsewhere is cut.
std::string TrimmedTail(const Bytes& block, std::size_t offset) {
    const std::size_t tail = Tail(block, offset).size();
    return tail > 0 ? DecodeText(block, At(offset), std::min(tail, kMaxTextWidth)) : std::string();
}

std::string RawTail(const Bytes& block, std::size_t offset) {
    return tessel::Cp1251ToUtf8(Tail(block, offset));
}

// The answer of 84h to 86h: description and discount sum.
Bytes EncodeDiscount(const std::string& text, Currency summ) {
    Bytes out = EncodeName40(text);
    AppendBytes(out, EncodeMoneyField(summ, kWidth));
    return out;
}

void DecodeDiscount(const Bytes& data, std::string& text, Currency& summ) {
    text = DecodeName40(data, At(0));
    summ = DecodeMoney(data, At(40), kWidth);
}

}  // namespace

Bytes EncodeMoneyField(Currency value, std::size_t width) {
    // Hundredths of the four-decimal value, rounded as every money field is.
    return EncodeCount(RoundToInt(static_cast<double>(value) / 100.0), width);
}

Bytes EncodeQuantityField(double value, std::size_t width) {
    return EncodeCount(RoundToInt(value * 1000.0), width);
}

// ---- 80h ----

Bytes TCommand80h::EncodeRequest() const {
    Bytes out{RegType, RegSign};
    AppendBytes(out, EncodeQuantityField(Quantity, kWidth));
    AppendBytes(out, EncodeMoneyField(Price, kWidth));
    AppendBytes(out, Bytes{Section, OperatorNumber});
    return out;
}

void TCommand80h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    RegSign = DecodeU8(data, At(1));
    Quantity = DecodeQuantity(data, At(2), kWidth);
    Price = DecodeMoney(data, At(7), kWidth);
    Section = DecodeU8(data, At(12));
    OperatorNumber = DecodeU8(data, At(13));
}

void TCommand80h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.RegType = RegType;
    data.RegSign = RegSign;
    data.Quantity = Quantity;
    data.Price = Price;
    data.Section = Section;
    data.OperatorNumber = OperatorNumber;
}

void TCommand80h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    RegType = data.RegType;
    RegSign = data.RegSign;
    Quantity = data.Quantity;
    Price = data.Price;
    Section = data.Section;
    OperatorNumber = data.OperatorNumber;
}

void TCommand80h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand80h>(source)) {
        RegType = s->RegType;
        RegSign = s->RegSign;
        Quantity = s->Quantity;
        Price = s->Price;
        Section = s->Section;
        OperatorNumber = s->OperatorNumber;
    }
}

// ---- 81h ----

Bytes TCommand81h::EncodeRequest() const {
    Bytes out{RegType, RegSign};
    AppendBytes(out, EncodeQuantityField(Quantity, kWidth));
    AppendBytes(out, EncodeCode(ArticleCode));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

Bytes TCommand81h::EncodeAnswer() const {
    Bytes out = EncodeName40(Text);
    AppendBytes(out, EncodeMoneyField(Price, kWidth));
    AppendBytes(out, Bytes{Section, Tax1, Tax2, Tax3, Tax4});
    return out;
}

void TCommand81h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    RegSign = DecodeU8(data, At(1));
    Quantity = DecodeQuantity(data, At(2), kWidth);
    ArticleCode = DecodeCode(data, At(7));
    OperatorNumber = DecodeU8(data, At(12));
}

void TCommand81h::DecodeAnswer(const Bytes& data) {
    Text = DecodeName40(data, At(0));
    Price = DecodeMoney(data, At(40), kWidth);
    Section = DecodeU8(data, At(45));
    Tax1 = DecodeU8(data, At(46));
    Tax2 = DecodeU8(data, At(47));
    Tax3 = DecodeU8(data, At(48));
    Tax4 = DecodeU8(data, At(49));
}

void TCommand81h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.RegSign = RegSign;
        data.Quantity = Quantity;
        data.Code = ArticleCode;
        data.OperatorNumber = OperatorNumber;
    } else {
        data.Text = Text;
        data.Price = Price;
        data.Section = Section;
        data.Tax1 = Tax1;
        data.Tax2 = Tax2;
        data.Tax3 = Tax3;
        data.Tax4 = Tax4;
    }
}

void TCommand81h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        RegSign = data.RegSign;
        Quantity = data.Quantity;
        ArticleCode = data.Code;
        OperatorNumber = data.OperatorNumber;
    } else {
        Text = data.Text;
        Price = data.Price;
        Section = data.Section;
        Tax1 = data.Tax1;
        Tax2 = data.Tax2;
        Tax3 = data.Tax3;
        Tax4 = data.Tax4;
    }
}

void TCommand81h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand81h>(source)) {
        RegType = s->RegType;
        RegSign = s->RegSign;
        Quantity = s->Quantity;
        ArticleCode = s->ArticleCode;
        OperatorNumber = s->OperatorNumber;
        Text = s->Text;
        Price = s->Price;
        Section = s->Section;
        Tax1 = s->Tax1;
        Tax2 = s->Tax2;
        Tax3 = s->Tax3;
        Tax4 = s->Tax4;
    }
}

// ---- 82h ----

Bytes TCommand82h::EncodeRequest() const {
    Bytes out{RegType, RegSign};
    AppendBytes(out, EncodeQuantityField(Quantity, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    AppendText(out, Barcode);
    return out;
}

Bytes TCommand82h::EncodeAnswer() const {
    Bytes out = EncodeU8(BarcodeType);
    AppendBytes(out, EncodeName40(Text));
    AppendBytes(out, EncodeMoneyField(Price, kWidth));
    AppendBytes(out, Bytes{Section, Tax1, Tax2, Tax3, Tax4});
    AppendBytes(out, EncodeQuantityField(BarcodeWeight, kWidth));
    return out;
}

void TCommand82h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    RegSign = DecodeU8(data, At(1));
    Quantity = DecodeQuantity(data, At(2), kWidth);
    OperatorNumber = DecodeU8(data, At(7));
    Barcode = TrimmedTail(data, 8);
}

void TCommand82h::DecodeAnswer(const Bytes& data) {
    BarcodeType = DecodeU8(data, At(0));
    Text = DecodeName40(data, At(1));
    Price = DecodeMoney(data, At(41), kWidth);
    Section = DecodeU8(data, At(46));
    Tax1 = DecodeU8(data, At(47));
    Tax2 = DecodeU8(data, At(48));
    Tax3 = DecodeU8(data, At(49));
    Tax4 = DecodeU8(data, At(50));
    // An answer without the weight is complete: the weight is then 0.
    BarcodeWeight = data.size() >= kFullAnswer ? DecodeQuantity(data, At(51), kWidth) : 0.0;
}

void TCommand82h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.RegSign = RegSign;
        data.Quantity = Quantity;
        data.OperatorNumber = OperatorNumber;
        data.Barcode = Barcode;
    } else {
        data.BarcodeType = BarcodeType;
        data.Text = Text;
        data.Price = Price;
        data.Section = Section;
        data.Tax1 = Tax1;
        data.Tax2 = Tax2;
        data.Tax3 = Tax3;
        data.Tax4 = Tax4;
        data.BarcodeWeight = BarcodeWeight;
    }
}

void TCommand82h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        RegSign = data.RegSign;
        Quantity = data.Quantity;
        OperatorNumber = data.OperatorNumber;
        Barcode = data.Barcode;
    } else {
        BarcodeType = data.BarcodeType;
        Text = data.Text;
        Price = data.Price;
        Section = data.Section;
        Tax1 = data.Tax1;
        Tax2 = data.Tax2;
        Tax3 = data.Tax3;
        Tax4 = data.Tax4;
        BarcodeWeight = data.BarcodeWeight;
    }
}

void TCommand82h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand82h>(source)) {
        RegType = s->RegType;
        RegSign = s->RegSign;
        Quantity = s->Quantity;
        OperatorNumber = s->OperatorNumber;
        Barcode = s->Barcode;
        BarcodeType = s->BarcodeType;
        Text = s->Text;
        Price = s->Price;
        Section = s->Section;
        Tax1 = s->Tax1;
        Tax2 = s->Tax2;
        Tax3 = s->Tax3;
        Tax4 = s->Tax4;
        BarcodeWeight = s->BarcodeWeight;
    }
}

// ---- 83h ----

Bytes TCommand83h::EncodeRequest() const {
    Bytes out{RegType, DscSign, RegSign};
    AppendBytes(out, EncodeMoneyField(Summ, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

void TCommand83h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    DscSign = DecodeU8(data, At(1));
    RegSign = DecodeU8(data, At(2));
    Summ = DecodeMoney(data, At(3), kWidth);
    OperatorNumber = DecodeU8(data, At(8));
}

void TCommand83h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.RegType = RegType;
    data.DscSign = DscSign;
    data.RegSign = RegSign;
    data.Summ = Summ;
    data.OperatorNumber = OperatorNumber;
}

void TCommand83h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    RegType = data.RegType;
    DscSign = data.DscSign;
    RegSign = data.RegSign;
    Summ = data.Summ;
    OperatorNumber = data.OperatorNumber;
}

void TCommand83h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand83h>(source)) {
        RegType = s->RegType;
        DscSign = s->DscSign;
        RegSign = s->RegSign;
        Summ = s->Summ;
        OperatorNumber = s->OperatorNumber;
    }
}

// ---- 84h ----

Bytes TCommand84h::EncodeRequest() const {
    Bytes out{RegType, DscSign, RegSign};
    AppendBytes(out, EncodeCode(DiscountCode));
    AppendBytes(out, EncodeMoneyField(RecSumm, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

Bytes TCommand84h::EncodeAnswer() const {
    return EncodeDiscount(Text, Summ);
}

void TCommand84h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    DscSign = DecodeU8(data, At(1));
    RegSign = DecodeU8(data, At(2));
    DiscountCode = DecodeCode(data, At(3));
    RecSumm = DecodeMoney(data, At(8), kWidth);
    OperatorNumber = DecodeU8(data, At(13));
}

void TCommand84h::DecodeAnswer(const Bytes& data) {
    DecodeDiscount(data, Text, Summ);
}

void TCommand84h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.DscSign = DscSign;
        data.RegSign = RegSign;
        data.Code = DiscountCode;
        data.RecSumm = RecSumm;
        data.OperatorNumber = OperatorNumber;
    } else {
        data.Text = Text;
        data.Summ = Summ;
    }
}

void TCommand84h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        DscSign = data.DscSign;
        RegSign = data.RegSign;
        DiscountCode = data.Code;
        RecSumm = data.RecSumm;
        OperatorNumber = data.OperatorNumber;
    } else {
        Text = data.Text;
        Summ = data.Summ;
    }
}

void TCommand84h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand84h>(source)) {
        RegType = s->RegType;
        DscSign = s->DscSign;
        RegSign = s->RegSign;
        DiscountCode = s->DiscountCode;
        RecSumm = s->RecSumm;
        OperatorNumber = s->OperatorNumber;
        Text = s->Text;
        Summ = s->Summ;
    }
}

// ---- 85h ----

Bytes TCommand85h::EncodeRequest() const {
    Bytes out{RegType, DscSign, RegSign};
    AppendBytes(out, EncodeMoneyField(RecSumm, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    AppendText(out, Barcode);
    return out;
}

Bytes TCommand85h::EncodeAnswer() const {
    return EncodeDiscount(Text, Summ);
}

void TCommand85h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    DscSign = DecodeU8(data, At(1));
    RegSign = DecodeU8(data, At(2));
    RecSumm = DecodeMoney(data, At(3), kWidth);
    OperatorNumber = DecodeU8(data, At(8));
    Barcode = RawTail(data, 9);
}

void TCommand85h::DecodeAnswer(const Bytes& data) {
    DecodeDiscount(data, Text, Summ);
}

void TCommand85h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.DscSign = DscSign;
        data.RegSign = RegSign;
        data.RecSumm = RecSumm;
        data.OperatorNumber = OperatorNumber;
        data.Barcode = Barcode;
    } else {
        data.Text = Text;
        data.Summ = Summ;
    }
}

void TCommand85h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        DscSign = data.DscSign;
        RegSign = data.RegSign;
        RecSumm = data.RecSumm;
        OperatorNumber = data.OperatorNumber;
        Barcode = data.Barcode;
    } else {
        Text = data.Text;
        Summ = data.Summ;
    }
}

void TCommand85h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand85h>(source)) {
        RegType = s->RegType;
        DscSign = s->DscSign;
        RegSign = s->RegSign;
        RecSumm = s->RecSumm;
        OperatorNumber = s->OperatorNumber;
        Barcode = s->Barcode;
        Text = s->Text;
        Summ = s->Summ;
    }
}

// ---- 86h ----

Bytes TCommand86h::EncodeRequest() const {
    Bytes out{RegType, DscSign, RegSign};
    AppendBytes(out, EncodeMoneyField(RecSumm, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

Bytes TCommand86h::EncodeAnswer() const {
    return EncodeDiscount(Text, Summ);
}

void TCommand86h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    DscSign = DecodeU8(data, At(1));
    RegSign = DecodeU8(data, At(2));
    RecSumm = DecodeMoney(data, At(3), kWidth);
    OperatorNumber = DecodeU8(data, At(8));
}

void TCommand86h::DecodeAnswer(const Bytes& data) {
    DecodeDiscount(data, Text, Summ);
}

void TCommand86h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.DscSign = DscSign;
        data.RegSign = RegSign;
        data.RecSumm = RecSumm;
        data.OperatorNumber = OperatorNumber;
    } else {
        data.Text = Text;
        data.Summ = Summ;
    }
}

void TCommand86h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        DscSign = data.DscSign;
        RegSign = data.RegSign;
        RecSumm = data.RecSumm;
        OperatorNumber = data.OperatorNumber;
    } else {
        Text = data.Text;
        Summ = data.Summ;
    }
}

void TCommand86h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand86h>(source)) {
        RegType = s->RegType;
        DscSign = s->DscSign;
        RegSign = s->RegSign;
        RecSumm = s->RecSumm;
        OperatorNumber = s->OperatorNumber;
        Text = s->Text;
        Summ = s->Summ;
    }
}

// ---- 87h ----

Bytes TCommand87h::EncodeRequest() const {
    Bytes out{PayType, RegType, RegSign};
    AppendBytes(out, EncodeMoneyField(Summ, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

void TCommand87h::DecodeRequest(const Bytes& data) {
    PayType = DecodeU8(data, At(0));
    RegType = DecodeU8(data, At(1));
    RegSign = DecodeU8(data, At(2));
    Summ = DecodeMoney(data, At(3), kWidth);
    OperatorNumber = DecodeU8(data, At(8));
}

void TCommand87h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.PayType = PayType;
    data.RegType = RegType;
    data.RegSign = RegSign;
    data.Summ = Summ;
    data.OperatorNumber = OperatorNumber;
}

void TCommand87h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    PayType = data.PayType;
    RegType = data.RegType;
    RegSign = data.RegSign;
    Summ = data.Summ;
    OperatorNumber = data.OperatorNumber;
}

void TCommand87h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand87h>(source)) {
        PayType = s->PayType;
        RegType = s->RegType;
        RegSign = s->RegSign;
        Summ = s->Summ;
        OperatorNumber = s->OperatorNumber;
    }
}

// ---- 88h ----

Bytes TCommand88h::EncodeRequest() const {
    Bytes out{RegType, RegSign};
    AppendBytes(out, EncodeMoneyField(RecSumm, kWidth));
    AppendBytes(out, EncodeU8(OperatorNumber));
    return out;
}

Bytes TCommand88h::EncodeAnswer() const {
    Bytes out = EncodeU8(PayType);
    AppendBytes(out, EncodeMoneyField(Summ, kWidth));
    return out;
}

void TCommand88h::DecodeRequest(const Bytes& data) {
    RegType = DecodeU8(data, At(0));
    RegSign = DecodeU8(data, At(1));
    RecSumm = DecodeMoney(data, At(2), kWidth);
    OperatorNumber = DecodeU8(data, At(7));
}

void TCommand88h::DecodeAnswer(const Bytes& data) {
    PayType = DecodeU8(data, At(0));
    Summ = DecodeMoney(data, At(1), kWidth);
}

void TCommand88h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.RegType = RegType;
        data.RegSign = RegSign;
        data.RecSumm = RecSumm;
        data.OperatorNumber = OperatorNumber;
    } else {
        data.PayType = PayType;
        data.Summ = Summ;
    }
}

void TCommand88h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        RegType = data.RegType;
        RegSign = data.RegSign;
        RecSumm = data.RecSumm;
        OperatorNumber = data.OperatorNumber;
    } else {
        PayType = data.PayType;
        Summ = data.Summ;
    }
}

void TCommand88h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand88h>(source)) {
        RegType = s->RegType;
        RegSign = s->RegSign;
        RecSumm = s->RecSumm;
        OperatorNumber = s->OperatorNumber;
        PayType = s->PayType;
        Summ = s->Summ;
    }
}
