#pragma once
// Names the driver shares with its registration and its settings.

// The class of the automation object, as registered under HKEY_CLASSES_ROOT\CLSID.
inline constexpr const char* kDriverClsid = "{16A80A2A-BB4C-4B65-B28E-8EBDAAE426C8}";
inline constexpr const char* kDriverProgID = "Addin.TesselDriver";

// Settings of the current user.
inline constexpr const char* kDriverKey = "Software\\Korvex\\TesselDrv\\TesselDrv";
inline constexpr const char* kParamKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Param";

inline constexpr const char* kDefaultLogFileName = "TesselDrv.log";
// The cap of one log file in kilobytes (0: none), under the Param key; older files are kept beside it.
inline constexpr const char* kLogMaxSizeValue = "LogMaxSizeKB";
