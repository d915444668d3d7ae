#include "support/CommandLayouts.h"

#include <map>
#include <memory>
#include <sstream>
#include <string_view>
#include <variant>
#include <vector>

#include "driver/base/untError.h"
#include "driver/commands/CommandCatalogue.h"
#include "driver/link/untCodecs.h"
#include "support/Frames.h"

namespace {

// Every property that a row of the command list stores, by name.
const std::map<std::string_view, TPropertyRef>& StoredProperties() {
    static const std::map<std::string_view, TPropertyRef> properties = [] {
        std::map<std::string_view, TPropertyRef> out;
        for (const TCommandInfo& info : CommandCatalogue()) {
            for (const TField& field : info.fields()) out.emplace(field.name, field.property);
        }
        return out;
    }();
    return properties;
}

std::unique_ptr<TCommand> New(const LayoutCase& c) {
    auto command = CreateCommand(c.code);
    command->CommandType = c.answer ? 1 : 0;
    return command;
}

TECRDrvData Filled(const LayoutCase& c) {
    TECRDrvData d = MarkedRecord();
    if (c.context != nullptr) c.context(d);
    c.fill(d);
    return d;
}

Bytes Encoded(const LayoutCase& c, const TCommand& command) {
    return c.answer ? command.EncodeAnswer() : command.EncodeRequest();
}

}  // namespace

TECRDrvData MarkedRecord() {
    TECRDrvData d;
    for (const auto& [name, property] : StoredProperties()) {
        switch (property.kind) {
            case TValueKind::Integer:
                property.set(d, std::int64_t{0x5A});
                break;
            case TValueKind::Real:
                property.set(d, double{0x5A});
                break;
            case TValueKind::Text:
                property.set(d, std::string("marker"));
                break;
            case TValueKind::Bytes:
                property.set(d, Bytes{0x5A});
                break;
            case TValueKind::Flag:
                property.set(d, true);
                break;
        }
    }
    return d;
}

std::string PropertiesText(const TECRDrvData& data) {
    std::ostringstream os;
    for (const auto& [name, property] : StoredProperties()) {
        os << name << '=';
        std::visit(
            [&os](const auto& v) {
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, Bytes>)
                    os << BytesToHex(v);
                else
                    os << v;
            },
            property.get(data));
        os << '\n';
    }
    return os.str();
}

std::string SavedBy(const TCommand& command, void (*context)(TECRDrvData&)) {
    TECRDrvData d = MarkedRecord();
    if (context != nullptr) context(d);
    command.SaveToDriver(d);
    return PropertiesText(d);
}

TEST_P(CommandLayout, EncodesFromProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(c.answer ? command->AnswerLength() - 2 : command->RequestLength() - 1, int(c.fixed));
    command->LoadFromDriver(Filled(c));
    EXPECT_EQ(BytesToHex(Encoded(c, *command)), BytesToHex(c.block));
}

TEST_P(CommandLayout, DecodesToProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true), "");
    EXPECT_EQ(command->ResultCode, 0);
    EXPECT_EQ(command->Code, c.code);
    EXPECT_EQ(SavedBy(*command, c.context), PropertiesText(Filled(c)));
}

// A kept answer is a copy made by Assign: it must repeat the same body. From an object of any other class
// only the base fields are copied.
TEST_P(CommandLayout, AssignCopiesOwnFieldsOnlyFromSameClass) {
    const LayoutCase& c = GetParam();
    auto decoded = New(c);
    decoded->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true);
    auto target = New(c);
    target->Assign(*decoded);
    EXPECT_EQ(SavedBy(*target, c.context), SavedBy(*decoded, c.context));
    EXPECT_EQ(BytesToHex(target->BuildBody()), BytesToHex(decoded->BuildBody()));

    std::vector<std::uint8_t> others{0x42};  // an opcode of the base class
    for (const TCommandInfo& info : CommandCatalogue()) others.push_back(info.opcode);
    for (const std::uint8_t code : others) {
        auto other = CreateCommand(code);
        if (typeid(*other) == typeid(*target)) continue;
        other->CommandType = target->CommandType;
        other->PortNumber = 7;
        target->Assign(*other);
        EXPECT_EQ(target->ID, other->ID);
        EXPECT_EQ(target->Code, code);
        EXPECT_EQ(target->PortNumber, 7);
        EXPECT_EQ(SavedBy(*target, c.context), SavedBy(*decoded, c.context)) << "from " << int(code);
    }
}

// A block one byte short of its layout, or an answer with a result other than 0 (stray bytes behind it),
// leaves every field at its initial value.
TEST_P(CommandLayout, ShortBlockOrErrorResultDecodesNothing) {
    const LayoutCase& c = GetParam();
    if (c.fixed > 0) {
        auto command = New(c);
        const Bytes shortBlock(c.block.begin(), c.block.begin() + std::ptrdiff_t(c.fixed - 1));
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, shortBlock), true),
                  "Неверная длина данных");
        EXPECT_EQ(command->ResultCode, 0);
        EXPECT_EQ(SavedBy(*command, c.context), SavedBy(*New(c), c.context));
    }
    if (!c.answer) return;
    for (const std::uint8_t result : {2, 3}) {
        auto command = New(c);
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, true, c.block, result), true), "");
        EXPECT_EQ(command->ResultCode, result);
        EXPECT_EQ(SavedBy(*command, c.context), SavedBy(*New(c), c.context));
    }
}

// An answer with a result other than 0 goes out as that byte alone, whatever the answer properties hold.
TEST_P(CommandLayout, ErrorAnswerIsResultByteAlone) {
    const LayoutCase& c = GetParam();
    if (!c.answer) return;
    for (const std::uint8_t result : {1, 5}) {
        auto command = New(c);
        command->LoadFromDriver(Filled(c));
        command->ResultCode = result;
        const Bytes body = command->BuildBody();
        EXPECT_EQ(BytesToHex(Bytes(body.begin() + 5, body.end())), BytesToHex({2, c.code, result}));
    }
}

TEST_P(CommandRefusal, IsInvalidValue) {
    auto command = CreateCommand(GetParam().code);
    command->CommandType = GetParam().answer ? 1 : 0;
    TECRDrvData d;
    GetParam().fill(d);
    command->LoadFromDriver(d);
    try {
        (void)command->BuildBody();
        ADD_FAILURE() << "not refused";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
    }
}
