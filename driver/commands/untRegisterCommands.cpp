#include "driver/commands/untRegisterCommands.h"

#include <array>

#include "driver/commands/CommonFields.h"

using namespace layout;

namespace {

// The request of 1Ah to 1Dh: the register's number.
template <class Self>
constexpr TField RegisterNumberField() {
    return TESSEL_FIELD(Request, 0, u16, RegisterNumber);
}

}  // namespace

std::span<const TField> TCommand1Ah::FieldTable() {
    static constexpr auto fields =
        Table(RegisterNumberField<Self>(), TESSEL_FIELD(Answer, 0, wrappedMoney(6), CashRegister));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand1Bh::FieldTable() {
    static constexpr auto fields =
        Table(RegisterNumberField<Self>(), TESSEL_FIELD(Answer, 0, u16, OperationRegister));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand1Ch::FieldTable() {
    static constexpr auto fields =
        Table(RegisterNumberField<Self>(), TESSEL_FIELD(Answer, 0, i32, RestRegister));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand1Dh::FieldTable() {
    static constexpr auto fields =
        Table(RegisterNumberField<Self>(), TESSEL_FIELD(Request, 2, i32, RestRegister));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand20h::FieldTable() {
    static constexpr auto fields = Table(TESSEL_FIELD(Request, 0, u8, PositionOfPoint));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand21h::FieldTable() {
    static constexpr auto fields = Table(TimeFields<Self>(Request, 0));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand22h::FieldTable() {
    static constexpr auto fields = Table(DateFields<Self>(Request, 0));
    return Checked<Self>(fields);
}
