// tessel-regsvr [-u] LIBRARY: registers an in-process server (or removes its registration with -u) by
// calling the library's own DllRegisterServer (DllUnregisterServer). One line tells what happened; the exit
// status is 0 on success, 1 on any failure, 2 for a wrong command line.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "common/com/ComTypes.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

struct LibraryClose {
    void operator()(void* handle) const { ::dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryClose>;

struct Request {
    bool unregister = false;
    std::string library;
};

void PrintUsage(std::FILE* out) {
    std::fputs(
        "Usage: tessel-regsvr [-u] LIBRARY\n"
        "Registers an in-process server (calls its DllRegisterServer);\n"
        "with -u removes its registration (DllUnregisterServer).\n",
        out);
}

// The command line; nothing when it is wrong or only help was asked for (`exitCode` says which).
bool ParseArguments(int argc, char** argv, Request& request, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            exitCode = 0;
            return false;
        }
        if (arg == "-u" || arg == "/u") {
            request.unregister = true;
        } else if (request.library.empty() && !arg.empty() && arg.front() != '-') {
            request.library = arg;
        } else {
            PrintUsage(stderr);
            exitCode = kExitUsage;
            return false;
        }
    }
    if (request.library.empty()) {
        PrintUsage(stderr);
        exitCode = kExitUsage;
        return false;
    }
    return true;
}

// A bare file name means the file in the current directory, as for regsvr32; the loader would otherwise
// search its own paths and could register some other copy.
std::string LoadablePath(const std::string& library) {
    return library.find('/') == std::string::npos ? "./" + library : library;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "tessel-regsvr: %s\n", text.c_str());
    return kExitFailure;
}

int Run(const Request& request) {
    const std::string path = LoadablePath(request.library);
    LibraryHandle library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        const char* why = ::dlerror();
        return Fail("cannot load the library " + request.library +
                    (why != nullptr ? ": " + std::string(why) : ""));
    }
    const char* entryName = request.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    ::dlerror();
    void* symbol = ::dlsym(library.get(), entryName);
    if (symbol == nullptr) return Fail("the library " + request.library + " has no function " + entryName);

    const HRESULT hr = reinterpret_cast<ServerEntry>(symbol)();
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        return Fail(std::string(entryName) + " of " + request.library + " returned " + code);
    }
    std::printf("%s of %s succeeded: %s.\n", entryName, request.library.c_str(),
                request.unregister ? "the registration is removed" : "the server is registered");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Request request;
    int exitCode = 0;
    if (!ParseArguments(argc, argv, request, exitCode)) return exitCode;
    try {
        return Run(request);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
