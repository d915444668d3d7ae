#include "driver/forms/FontSettings.h"

#include "common/platform/Registry.h"

namespace {

const char* const kFontKey = "\\.DEFAULT\\SOFTWARE\\Korvex\\Font";

// Reads `name` with `read` into `target` when the value is there and of its type.
template <typename T, typename Read>
void ReadOptional(const tessel::Registry& reg, const char* name, T& target, Read read) {
    try {
        if (reg.ValueExists(name)) target = read(name);
    } catch (const tessel::RegistryError&) {
        // A value of another type is no setting: the default stands.
    }
}

}  // namespace

TFontSettings TFontSettings::Load() {
    TFontSettings s;
    try {
        tessel::Registry reg;
        if (!reg.OpenKey(kFontKey, false)) return s;
        const auto text = [&reg](const char* n) { return reg.ReadString(n); };
        const auto number = [&reg](const char* n) { return reg.ReadInteger(n); };
        const auto flag = [&reg](const char* n) { return reg.ReadBool(n); };
        ReadOptional(reg, "FontName", s.name, text);
        ReadOptional(reg, "FontSize", s.size, number);
        std::int32_t color = static_cast<std::int32_t>(s.color);
        ReadOptional(reg, "FontColor", color, number);
        s.color = static_cast<std::uint32_t>(color);
        ReadOptional(reg, "FontCharSet", s.charSet, number);
        ReadOptional(reg, "FontIsBold", s.bold, flag);
        ReadOptional(reg, "FontIsItalic", s.italic, flag);
        ReadOptional(reg, "FontIsUnderlined", s.underline, flag);
        ReadOptional(reg, "FontIsStriledOut", s.strikeOut, flag);
    } catch (const tessel::RegistryError&) {
        // A damaged store: the dialogs still open, with what was read.
    }
    return s;
}
