// expect: do not give the length listed in OpcodeList.h
// A table whose rows end short of the length its opcode's entry lists does not compile.
#include "driver/commands/untSaleCommands.h"

using namespace layout;

std::span<const TField> TCommand80h::FieldTable() {
    static constexpr auto fields = Table(TESSEL_FIELD(Request, 0, u8, RegType), TESSEL_FIELD(Request, 1, u8, RegSign));
    return Checked<Self>(fields);
}
