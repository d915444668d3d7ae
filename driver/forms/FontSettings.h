#pragma once
// The dialog font of every window of the driver: the defaults, replaced by each value of HKEY_CURRENT_USER
// "\.DEFAULT\SOFTWARE\Korvex\Font" that is present.

#include <cstdint>
#include <string>

struct TFontSettings {
    std::string name = "MS Sans Serif";
    int size = 8;             // points
    std::uint32_t color = 0;  // 0x00BBGGRR
    std::int32_t charSet = 204;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    // The settings of the store; a value of the wrong type, or a store that cannot be read, leaves the
    // defaults for what is left.
    static TFontSettings Load();
};
