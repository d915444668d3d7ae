#pragma once
// The scalar types, result codes and GUIDs of COM. The build puts the system's declarations on the include
// path: the SDK's headers on Windows (common/com/sdk), the compatibility declarations on Linux
// (common/com/compat), which keep the names, values and widths of the SDK's.

#include <optional>
#include <string>
#include <string_view>

#include "SystemTypes.h"

namespace tessel {

// The registry form, upper-case hex, as the system writes it.
std::string GuidToString(const GUID& guid);
// The registry form with braces, hex of either case; nothing for any other text.
std::optional<GUID> GuidFromString(std::string_view text);

}  // namespace tessel
