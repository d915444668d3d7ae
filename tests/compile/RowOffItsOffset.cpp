// expect: a row that does not start where the one before ended
// Rows that leave a gap (or overlap) do not compile.
#include "driver/commands/untRegisterCommands.h"

using namespace layout;

std::span<const TField> TCommand1Dh::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u16, RegisterNumber), TESSEL_FIELD(Request, 3, i32, RestRegister));
    return Checked<Self>(fields);
}
