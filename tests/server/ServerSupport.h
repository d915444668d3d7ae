#pragma once
// What the server tests share: child programs (tessel-regsvr, TesselEmu) with bounded waits, the built
// driver library as a client sees it, and late-bound calls on a driver object.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/com/ComCreate.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"
#include "common/platform/Registry.h"

extern char** environ;

namespace server_test {

// Generous for a sanitizer build on a loaded machine; only a hung child ever reaches it.
constexpr std::chrono::milliseconds kChildWait{20000};

inline const std::string kDriverClsid = "{16A80A2A-BB4C-4B65-B28E-8EBDAAE426C8}";
inline const std::string kPageClsid = "{F9B8E223-0785-4F4E-8C9F-DD4E08D42CD1}";
inline const std::string kLibid = "{5758880F-6501-4DE5-A374-E94EDB750A8C}";
inline const std::string kProgId = "Addin.TesselDriver";
inline constexpr CLSID kDriverClass = {
    0x16A80A2A, 0xBB4C, 0x4B65, {0xB2, 0x8E, 0x8E, 0xBD, 0xAA, 0xE4, 0x26, 0xC8}};

// The built server, as its registration names it.
inline std::string DriverLibrary() {
    return std::filesystem::canonical(TESSEL_DRIVER_LIBRARY).string();
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

// Waits until `fd` is readable or `deadline` passes.
inline bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) == 1;
}

// A child program with standard input from /dev/null and standard output and error on one pipe. A child
// still running when the object goes is killed.
class Child {
  public:
    // `env` replaces or adds variables of this process's environment.
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        output_.Reset(out[0]);
        Fd writeEnd(out[1]);

        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
        }
        for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);

        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argStrings) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDERR_FILENO);
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + program);
        }
        exited_.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
    }
    ~Child() {
        if (pid_ > 0) Stop(SIGKILL);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of output without its newline; nothing when none comes in time.
    std::optional<std::string> ReadLine() {
        const auto deadline = std::chrono::steady_clock::now() + kChildWait;
        for (;;) {
            if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            if (!ReadMore(deadline)) return std::nullopt;
        }
    }

    // Everything it prints until it ends, and its exit status (-1 when it had to be killed or died by a
    // signal).
    int Finish(std::string& output) {
        const auto deadline = std::chrono::steady_clock::now() + kChildWait;
        while (ReadMore(deadline)) {
        }
        output = std::move(buffer_);
        buffer_.clear();
        return Wait(deadline);
    }

    // Sends `signal` and collects the exit status.
    int Stop(int signal) {
        ::kill(pid_, signal);
        return Wait(std::chrono::steady_clock::now() + kChildWait);
    }

  private:
    bool ReadMore(std::chrono::steady_clock::time_point deadline) {
        if (!ReadableBefore(output_.Get(), deadline)) return false;
        char chunk[1024];
        const ssize_t n = ::read(output_.Get(), chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int Wait(std::chrono::steady_clock::time_point deadline) {
        if (pid_ <= 0) return -1;
        if (exited_.Get() < 0 || !ReadableBefore(exited_.Get(), deadline)) ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    Fd output_;
    Fd exited_;
    std::string buffer_;
};

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// tessel-regsvr with `args`, run to its end.
inline RunResult RunRegsvr(const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env = {}) {
    Child child(TESSEL_REGSVR, args, env);
    RunResult result;
    result.exitCode = child.Finish(result.output);
    return result;
}

// The emulator program serving a register at address 2 on a new pseudo-terminal.
class Emulator {
  public:
    Emulator() : child_(TESSEL_EMU, {"--address", "2"}) {
        const auto first = child_.ReadLine();
        if (!first || first->rfind("PTY /", 0) != 0)
            throw std::runtime_error("TesselEmu did not report its terminal");
        path_ = first->substr(4);
    }
    const std::string& Path() const { return path_; }

  private:
    Child child_;
    std::string path_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { ::unsetenv(name_.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
};

// The driver library loaded in this process, as class creation loads it: once, and never unloaded, since
// objects it handed out may outlive any test.
inline void* LoadedDriver() {
    static void* const handle = ::dlopen(DriverLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error("cannot load the driver library");
    return handle;
}

template <typename Function>
Function DriverExport(const char* name) {
    void* symbol = ::dlsym(LoadedDriver(), name);
    if (symbol == nullptr) throw std::runtime_error(std::string("the driver does not export ") + name);
    return reinterpret_cast<Function>(symbol);
}

// The default value of an HKEY_CLASSES_ROOT key, or a named value; nothing when missing.
inline std::optional<std::string> ClassesValue(const std::string& key, const std::string& name = "") {
    tessel::Registry reg(tessel::Hive::ClassesRoot);
    if (!reg.OpenKey("\\" + key, false) || !reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
}

inline bool ClassesKeyExists(const std::string& key) {
    return tessel::Registry(tessel::Hive::ClassesRoot).KeyExists("\\" + key);
}

struct ScopedVariant {
    VARIANT v;
    ScopedVariant() { VariantInit(&v); }
    ~ScopedVariant() { VariantClear(&v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

// Late-bound calls on a driver object, names resolved by GetIDsOfNames as a script host does. A failing
// call throws, which fails the test with the member's name.
class LateBound {
  public:
    explicit LateBound(tessel::ComPtr<IDispatch> object) : object_(std::move(object)) {}

    IDispatch* Object() const { return object_.Get(); }

    DISPID Id(const std::string& name) const {
        tessel::UniqueBstr text = tessel::Utf8ToBstr(name);
        LPOLESTR names[] = {text.get()};
        DISPID id = DISPID_UNKNOWN;
        Check(object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), "GetIDsOfNames", name);
        return id;
    }

    LONG Call(const std::string& name) const { return Long(name, DISPATCH_METHOD); }
    LONG GetLong(const std::string& name) const { return Long(name, DISPATCH_PROPERTYGET); }
    std::string GetString(const std::string& name) const {
        ScopedVariant value;
        InvokeInto(name, DISPATCH_PROPERTYGET, nullptr, value.v);
        if (value.v.vt != VT_BSTR) throw std::runtime_error(name + " is not a string");
        return tessel::BstrToUtf8(value.v.bstrVal);
    }
    void PutLong(const std::string& name, LONG value) const {
        ScopedVariant arg;
        arg.v.vt = VT_I4;
        arg.v.lVal = value;
        Put(name, arg.v);
    }
    void PutBool(const std::string& name, bool value) const {
        ScopedVariant arg;
        arg.v.vt = VT_BOOL;
        arg.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        Put(name, arg.v);
    }

  private:
    static void Check(HRESULT hr, const char* step, const std::string& name) {
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            throw std::runtime_error(std::string(step) + " of " + name + " failed: " + code);
        }
    }
    LONG Long(const std::string& name, WORD flags) const {
        ScopedVariant value;
        InvokeInto(name, flags, nullptr, value.v);
        if (value.v.vt != VT_I4) throw std::runtime_error(name + " did not yield a long");
        return value.v.lVal;
    }
    void InvokeInto(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT& result) const {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        Check(object_->Invoke(Id(name), IID_NULL, 0, flags, params != nullptr ? params : &none, &result,
                              nullptr, nullptr),
              "Invoke", name);
    }
    void Put(const std::string& name, VARIANT& value) const {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        ScopedVariant ignored;
        InvokeInto(name, DISPATCH_PROPERTYPUT, &params, ignored.v);
    }

    tessel::ComPtr<IDispatch> object_;
};

// A driver object created by its ProgID through the registration, as any client creates it.
inline tessel::ComPtr<IDispatch> CreateByProgId(HRESULT& hr) {
    tessel::ComPtr<IDispatch> object;
    tessel::UniqueBstr progId = tessel::Utf8ToBstr(kProgId);
    CLSID clsid{};
    hr = CLSIDFromProgID(progId.get(), &clsid);
    if (FAILED(hr)) return object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    return object;
}

}  // namespace server_test
