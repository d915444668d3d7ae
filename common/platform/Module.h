#pragma once
// Loadable modules (shared libraries on Linux, DLLs on Windows) and the files they come from.

#include <optional>
#include <string>

namespace tessel {

// The file name of the module called `name` on this platform: "lib<name>.so" on Linux, "<name>.dll" on
// Windows.
std::string ModuleFileName(const std::string& name);

// The absolute path, in its long form, of the module (library or program) that contains `address`. Throws
// std::runtime_error when the loader cannot name it.
std::string ModulePathOf(const void* address);

// The file version "a.b.c.d" of the module that contains `address`, from the fixed part of its version
// resource; "0.0.0.0" when the module has none. Nothing where modules carry no version resource (Linux).
std::optional<std::string> ModuleFileVersionOf(const void* address);

// Loads the module at `path`; it stays loaded for the life of the process, since what it hands out may live
// until the end. Null on failure, with the loader's reason in `error`.
void* LoadModule(const std::string& path, std::string& error);
// The module's export `name`; null when it has none.
void* ModuleExport(void* module, const char* name);

}  // namespace tessel
