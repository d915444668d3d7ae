// expect: a command class without an opcode in OpcodeList.h
// A command class that the opcode list does not name does not compile.
#include "driver/commands/FieldCommand.h"

using namespace layout;

class TCommandF0h final : public TFieldCommand<TCommandF0h> {
  public:
    static std::span<const TField> FieldTable();
    std::uint8_t FlagNumber = 0;
};

std::span<const TField> TCommandF0h::FieldTable() {
    static constexpr auto fields = Table(TESSEL_FIELD(Request, 0, u8, FlagNumber));
    return Checked<Self>(fields);
}
