#pragma once
// A host that behaves as 1C:Enterprise does with a Native API component in a zip: it reads the archive's
// manifest, unpacks the library named for this system, loads it, calls its exports in the platform's order,
// gives each object a connection and a memory manager, and reaches properties and methods by name as a
// configuration's script does, raising the platform's errors. Nothing of the driver is linked in.

#include <dlfcn.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/native1c/NativeApi.h"

namespace native_host {

// UTF-8 and UTF-16 of the texts the tests use (the Basic Multilingual Plane).
inline std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;
        char16_t unit = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) unit = (unit << 6) | (utf8[i + k] & 0x3F);
        out += unit;
        i += extra + 1;
    }
    return out;
}
inline std::string Utf8(std::u16string_view utf16) {
    std::string out;
    for (const char16_t unit : utf16) {
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += {static_cast<char>(0xC0 | (unit >> 6)), static_cast<char>(0x80 | (unit & 0x3F))};
        } else {
            out += {static_cast<char>(0xE0 | (unit >> 12)), static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (unit & 0x3F))};
        }
    }
    return out;
}
inline std::string Utf8(const WCHAR_T* text) {
    return text == nullptr ? std::string() : Utf8(std::u16string_view(text));
}

// The entries of a zip archive (stored or deflated), each checked against its CRC.
class ZipArchive {
  public:
    // Throws std::runtime_error for a file that is no readable zip archive.
    explicit ZipArchive(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        data_.assign(std::istreambuf_iterator<char>(in), {});
        // The end record lies within the last 22 bytes and the 64 KiB of its comment.
        std::size_t end = std::string::npos;
        const std::size_t last = data_.size() >= 22 ? data_.size() - 22 : 0;
        for (std::size_t at = last + 1;
             data_.size() >= 22 && end == std::string::npos && at-- > 0 && last - at <= 0xFFFF;)
            if (Field(at, 4) == 0x06054B50) end = at;
        if (end == std::string::npos) throw std::runtime_error(path + " is no zip archive");
        std::size_t at = Field(end + 16, 4);
        for (std::uint32_t n = Field(end + 10, 2); n > 0; --n) {
            if (Field(at, 4) != 0x02014B50) throw std::runtime_error("damaged central directory");
            entries_.push_back({data_.substr(at + 46, Field(at + 28, 2)), Field(at + 10, 2),
                                Field(at + 16, 4), Field(at + 20, 4), Field(at + 24, 4), Field(at + 42, 4)});
            at += 46 + Field(at + 28, 2) + Field(at + 30, 2) + Field(at + 32, 2);
        }
    }

    // The entry's bytes; throws std::runtime_error when it is missing or damaged.
    std::string Read(const std::string& name) const {
        for (const Entry& e : entries_) {
            if (e.name != name) continue;
            if (Field(e.offset, 4) != 0x04034B50) throw std::runtime_error("damaged entry " + name);
            const std::size_t start = e.offset + 30 + Field(e.offset + 26, 2) + Field(e.offset + 28, 2);
            if (start + e.packed > data_.size()) throw std::runtime_error(name + " is cut short");
            std::string out = data_.substr(start, e.packed);
            if (e.method == 8) {
                out.assign(e.size, '\0');
                z_stream z{};
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data_.data() + start));
                z.avail_in = e.packed;
                z.next_out = reinterpret_cast<Bytef*>(out.data());
                z.avail_out = e.size;
                const bool whole = inflateInit2(&z, -MAX_WBITS) == Z_OK &&
                                   inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == e.size;
                inflateEnd(&z);
                if (!whole) throw std::runtime_error(name + " does not inflate");
            } else if (e.method != 0) {
                throw std::runtime_error(name + " is packed by method " + std::to_string(e.method));
            }
            if (crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) != e.crc)
                throw std::runtime_error(name + " fails its CRC");
            return out;
        }
        throw std::runtime_error("the zip archive has no " + name);
    }

  private:
    struct Entry {
        std::string name;
        std::uint32_t method, crc, packed, size, offset;
    };
    // A little-endian field, or an error for one beyond the end.
    std::uint32_t Field(std::size_t at, int bytes) const {
        if (at + bytes > data_.size()) throw std::runtime_error("the zip archive is cut short");
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data_[at + i]);
        return value;
    }
    std::string data_;
    std::vector<Entry> entries_;
};

// The path of the native component for Linux on `arch` that MANIFEST.XML names; throws std::runtime_error
// when its root is not the platform's bundle or it names none.
inline std::string ComponentPath(const std::string& xml, const std::string& arch) {
    if (!std::regex_search(xml, std::regex(R"(<bundle\s[^>]*xmlns="http://v8\.1c\.ru/8\.2/addin/bundle")")))
        throw std::runtime_error("MANIFEST.XML is no bundle of the platform: " + xml);
    const std::regex component(R"re(<component\s([^>]*)/?>)re");
    for (std::sregex_iterator it(xml.begin(), xml.end(), component), end; it != end; ++it) {
        const std::string attributes = (*it)[1];
        auto has = [&](const std::string& name, const std::string& value) {
            return attributes.find(name + "=\"" + value + "\"") != std::string::npos;
        };
        std::smatch path;
        if (has("os", "Linux") && has("type", "native") && has("arch", arch) &&
            std::regex_search(attributes, path, std::regex(R"re(path="([^"]+)")re")))
            return path[1];
    }
    throw std::runtime_error("the manifest names no component for Linux on " + arch);
}

// The platform's allocator: keeps what it gave, and records every free of something it did not give or gave
// back already.
class TestMemory final : public IMemoryManager {
  public:
    bool ADDIN_API AllocMemory(void** memory, unsigned long bytes) override {
        if (memory == nullptr) return false;
        *memory = std::malloc(bytes == 0 ? 1 : bytes);
        const std::lock_guard lock(lock_);
        if (*memory != nullptr) live_.insert(*memory);
        return *memory != nullptr;
    }
    void ADDIN_API FreeMemory(void** memory) override {
        if (memory == nullptr || *memory == nullptr) return;
        const std::lock_guard lock(lock_);
        if (live_.erase(*memory) == 0)
            faults_.push_back("a block freed that is not given out");
        else
            std::free(*memory);
        *memory = nullptr;
    }
    std::size_t Live() const {
        const std::lock_guard lock(lock_);
        return live_.size();
    }
    std::vector<std::string> Faults() const {
        const std::lock_guard lock(lock_);
        return faults_;
    }

  private:
    mutable std::mutex lock_;
    std::set<void*> live_;
    std::vector<std::string> faults_;
};

// The platform's connection: records errors and the status line, and queues external events as deep as the
// buffer asked for (what does not fit is lost, as with the platform).
class TestConnection final : public IAddInDefBase {
  public:
    struct Event {
        std::string source, message, data;
        std::thread::id thread;
    };
    struct Error {
        unsigned short code;
        std::string source, text;
        long scode;
    };

    bool ADDIN_API AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                            long scode) override {
        const std::lock_guard lock(lock_);
        errors_.push_back({wcode, Utf8(source), Utf8(descr), scode});
        return true;
    }
    bool ADDIN_API Read(WCHAR_T*, tVariant*, long*, WCHAR_T**) override { return false; }
    bool ADDIN_API Write(WCHAR_T*, tVariant*) override { return false; }
    bool ADDIN_API RegisterProfileAs(WCHAR_T*) override { return false; }
    bool ADDIN_API SetEventBufferDepth(long depth) override {
        const std::lock_guard lock(lock_);
        depth_ = depth;
        return true;
    }
    long ADDIN_API GetEventBufferDepth() override {
        const std::lock_guard lock(lock_);
        return depth_;
    }
    bool ADDIN_API ExternalEvent(WCHAR_T* source, WCHAR_T* message, WCHAR_T* data) override {
        const std::lock_guard lock(lock_);
        if (static_cast<long>(queue_.size()) < depth_)
            queue_.push_back({Utf8(source), Utf8(message), Utf8(data), std::this_thread::get_id()});
        arrived_.notify_all();
        return true;
    }
    void ADDIN_API CleanEventBuffer() override {
        const std::lock_guard lock(lock_);
        queue_.clear();
    }
    bool ADDIN_API SetStatusLine(WCHAR_T* statusLine) override {
        const std::lock_guard lock(lock_);
        status_ = Utf8(statusLine);
        return true;
    }
    void ADDIN_API ResetStatusLine() override {
        const std::lock_guard lock(lock_);
        status_.clear();
    }

    // The oldest queued event, waiting for one at most 10 s; throws std::runtime_error when none comes.
    Event NextEvent() {
        std::unique_lock lock(lock_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(10), [this] { return !queue_.empty(); }))
            throw std::runtime_error("no external event came");
        Event event = queue_.front();
        queue_.erase(queue_.begin());
        return event;
    }
    std::size_t Queued() const {
        const std::lock_guard lock(lock_);
        return queue_.size();
    }
    std::vector<Error> Errors() const {
        const std::lock_guard lock(lock_);
        return errors_;
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    long depth_ = 1;
    std::vector<Event> queue_;
    std::vector<Error> errors_;
    std::string status_;
};

// An error a configuration's script would see raised.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A value as a configuration holds it.
struct Value {
    TYPEVAR vt = VTYPE_EMPTY;
    long number = 0;
    double real = 0;
    bool flag = false;
    std::string text = {};
    std::tm date{};

    static Value Number(long n) { return {.vt = VTYPE_I4, .number = n}; }
    static Value Real(double d) { return {.vt = VTYPE_R8, .real = d}; }
    static Value Flag(bool b) { return {.vt = VTYPE_BOOL, .flag = b}; }
    static Value Text(std::string s) { return {.vt = VTYPE_PWSTR, .text = std::move(s)}; }
    static Value Date(int year, int month, int day) {
        Value v{.vt = VTYPE_TM};
        v.date.tm_year = year - 1900;
        v.date.tm_mon = month - 1;
        v.date.tm_mday = day;
        return v;
    }
};

// The component's library, unpacked from the zip as the platform unpacks it, and loaded.
class ComponentLibrary {
  public:
    // Unpacks into `folder` the component that the zip's manifest names for Linux on this architecture, loads
    // it, lists its classes and agrees the capabilities as the platform does. Throws std::runtime_error.
    ComponentLibrary(const std::string& zip, const std::string& folder) {
        const ZipArchive archive(zip);
        const std::string path =
            ComponentPath(archive.Read("MANIFEST.XML"), sizeof(void*) == 8 ? "x86_64" : "i386");
        const std::string file = folder + "/" + path;
        std::ofstream(file, std::ios::binary) << archive.Read(path);
        handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr)
            throw std::runtime_error(std::string("the component does not load: ") + ::dlerror());
        std::stringstream names(Utf8(Export<GetClassNamesFn>("GetClassNames")()));
        for (std::string name; std::getline(names, name, '|');) classes_.push_back(name);
        if (Export<SetPlatformCapabilitiesFn>("SetPlatformCapabilities")(eAppCapabilities3) >
            eAppCapabilities3)
            throw std::runtime_error("the component asks for more than the platform offers");
        if (Export<GetAttachTypeFn>("GetAttachType")() != eCanAttachAny)
            throw std::runtime_error("the component cannot be loaded both ways");
        GetClassObject = Export<GetClassObjectFn>("GetClassObject");
        DestroyObject = Export<DestroyObjectFn>("DestroyObject");
    }
    // Unloads the library, as the platform does at its end: no thread of the component may still run.
    ~ComponentLibrary() { ::dlclose(handle_); }

    std::vector<std::string> ClassNames() const { return classes_; }
    GetClassObjectFn GetClassObject = nullptr;
    DestroyObjectFn DestroyObject = nullptr;

  private:
    template <typename Function>
    Function Export(const char* name) {
        void* symbol = ::dlsym(handle_, name);
        if (symbol == nullptr) throw std::runtime_error(std::string("the component does not export ") + name);
        return reinterpret_cast<Function>(symbol);
    }
    void* handle_ = nullptr;
    std::vector<std::string> classes_;
};

// One object made by `Новый("AddIn.<Name>.<Class>")`, with a connection of its own.
class PlatformObject {
  public:
    // Makes the object and initialises it in the platform's order. Throws std::runtime_error when the
    // library refuses, ScriptError when Init fails.
    PlatformObject(ComponentLibrary& library, TestMemory& memory) : library_(library), memory_(memory) {
        if (library_.GetClassObject(u"TesselDriver", &object_) == 0 || object_ == nullptr)
            throw std::runtime_error("GetClassObject refused the class");
        object_->setMemManager(&memory_);
        if (!object_->Init(&connection_)) Raise("Init failed");
        version_ = object_->GetInfo();
        WCHAR_T* name = nullptr;
        if (!object_->RegisterExtensionAs(&name)) Raise("RegisterExtensionAs failed");
        extension_ = Take(name);
        object_->SetLocale(u"ru_RU");
    }
    ~PlatformObject() {
        object_->Done();
        library_.DestroyObject(&object_);
    }
    PlatformObject(const PlatformObject&) = delete;
    PlatformObject& operator=(const PlatformObject&) = delete;

    void Set(const std::string& name, const Value& value) {
        const long index = object_->FindProp(Utf16(name).c_str());
        if (index < 0) throw ScriptError("Поле объекта не обнаружено (" + name + ")");
        if (!object_->IsPropWritable(index))
            throw ScriptError("Поле объекта недоступно для записи (" + name + ")");
        tVariant v{};
        v.vt = value.vt;
        std::u16string text = Utf16(value.text);
        if (value.vt == VTYPE_I4) v.lVal = static_cast<std::int32_t>(value.number);
        if (value.vt == VTYPE_R8) v.dblVal = value.real;
        if (value.vt == VTYPE_BOOL) v.bVal = value.flag;
        if (value.vt == VTYPE_TM) v.tmVal = value.date;
        if (value.vt == VTYPE_PWSTR) {
            v.pwstrVal = text.data();
            v.wstrLen = static_cast<std::uint32_t>(text.size());
        }
        if (!object_->SetPropVal(index, &v)) Raise("SetPropVal failed for " + name);
    }

    Value Get(const std::string& name) {
        const long index = object_->FindProp(Utf16(name).c_str());
        if (index < 0) throw ScriptError("Поле объекта не обнаружено (" + name + ")");
        if (!object_->IsPropReadable(index))
            throw ScriptError("Поле объекта недоступно для чтения (" + name + ")");
        tVariant v{};
        if (!object_->GetPropVal(index, &v)) Raise("GetPropVal failed for " + name);
        Value out{.vt = v.vt};
        if (v.vt == VTYPE_I4) out.number = v.lVal;
        if (v.vt == VTYPE_R8) out.real = v.dblVal;
        if (v.vt == VTYPE_BOOL) out.flag = v.bVal;
        if (v.vt == VTYPE_TM) out.date = v.tmVal;
        if (v.vt == VTYPE_PWSTR) {
            if (v.pwstrVal == nullptr || v.pwstrVal[v.wstrLen] != 0)
                throw std::runtime_error(name + ": a text without its terminating NUL");
            out.text = Utf8(std::u16string_view(v.pwstrVal, v.wstrLen));
            Take(v.pwstrVal);
        }
        return out;
    }

    // A method as a function when it has a value, else as a procedure; its value (empty for a procedure).
    Value Call(const std::string& name) {
        const long index = object_->FindMethod(Utf16(name).c_str());
        if (index < 0) throw ScriptError("Метод объекта не обнаружен (" + name + ")");
        if (object_->GetNParams(index) != 0) throw std::runtime_error(name + " wants parameters");
        if (!object_->HasRetVal(index)) {
            if (!object_->CallAsProc(index, nullptr, 0)) Raise("CallAsProc failed for " + name);
            return {};
        }
        tVariant v{};
        if (!object_->CallAsFunc(index, &v, nullptr, 0)) Raise("CallAsFunc failed for " + name);
        return {.vt = v.vt, .number = v.vt == VTYPE_I4 ? v.lVal : 0};
    }

    IComponentBase& Object() { return *object_; }
    TestConnection& Connection() { return connection_; }
    const std::string& Extension() const { return extension_; }
    long Version() const { return version_; }
    // A text the object gave, freed as the platform frees it.
    std::string Take(const WCHAR_T* text) {
        std::string taken = Utf8(text);
        void* block = const_cast<WCHAR_T*>(text);
        memory_.FreeMemory(&block);
        return taken;
    }

  private:
    // The platform raises the message the component gave through AddError, if it gave one for this call.
    [[noreturn]] void Raise(const std::string& fallback) {
        const std::vector<TestConnection::Error> errors = connection_.Errors();
        const std::string text = errors.size() > errorsSeen_ ? errors.back().text : fallback;
        errorsSeen_ = errors.size();
        throw ScriptError(text);
    }

    ComponentLibrary& library_;
    TestMemory& memory_;
    TestConnection connection_;
    IComponentBase* object_ = nullptr;
    std::string extension_;
    long version_ = 0;
    std::size_t errorsSeen_ = 0;
};

}  // namespace native_host
