// expect: a member that is not of its codec's kind or width
// A row whose codec does not fit its member (a word read into a byte) does not compile.
#include "driver/commands/untRegisterCommands.h"

using namespace layout;

std::span<const TField> TCommand20h::FieldTable() {
    static constexpr auto fields = Table(TESSEL_FIELD(Request, 0, u16, PositionOfPoint));
    return Checked<Self>(fields);
}
