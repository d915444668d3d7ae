#include "native1c/NativeHost.h"

#include <dlfcn.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace native_host {

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf8(std::u16string_view utf16) {
    std::string out;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size())
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

namespace {

std::string Utf8Of(const WCHAR_T* text) {
    return text == nullptr ? std::string() : Utf8(std::u16string_view(text));
}

// A little-endian field of the archive, or an error for one beyond its end.
std::uint32_t Field(const std::string& data, std::size_t at, int bytes) {
    if (at + bytes > data.size()) throw std::runtime_error("the zip archive is cut short");
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[at + i]);
    return value;
}

}  // namespace

ZipArchive::ZipArchive(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    data_.assign(std::istreambuf_iterator<char>(in), {});
    // The end record lies within the last 22 bytes and the 64 KiB of its comment.
    if (data_.size() < 22) throw std::runtime_error(path + " is no zip archive");
    const std::size_t last = data_.size() - 22;
    const std::size_t floor = last > 0xFFFF ? last - 0xFFFF : 0;
    std::size_t end = std::string::npos;
    for (std::size_t at = last + 1; end == std::string::npos && at-- > floor;)
        if (Field(data_, at, 4) == 0x06054B50) end = at;
    if (end == std::string::npos) throw std::runtime_error(path + " is no zip archive");
    std::size_t at = Field(data_, end + 16, 4);
    for (std::uint32_t n = Field(data_, end + 10, 2); n > 0; --n) {
        if (Field(data_, at, 4) != 0x02014B50) throw std::runtime_error("damaged central directory");
        Entry e{data_.substr(at + 46, Field(data_, at + 28, 2)),
                static_cast<std::uint16_t>(Field(data_, at + 10, 2)),
                Field(data_, at + 16, 4),
                Field(data_, at + 20, 4),
                Field(data_, at + 24, 4),
                Field(data_, at + 42, 4)};
        entries_.push_back(e);
        at += 46 + Field(data_, at + 28, 2) + Field(data_, at + 30, 2) + Field(data_, at + 32, 2);
    }
}

std::vector<std::string> ZipArchive::Names() const {
    std::vector<std::string> names;
    for (const Entry& e : entries_) names.push_back(e.name);
    return names;
}

std::string ZipArchive::Read(const std::string& name) const {
    for (const Entry& e : entries_) {
        if (e.name != name) continue;
        if (Field(data_, e.offset, 4) != 0x04034B50) throw std::runtime_error("damaged entry " + name);
        const std::size_t start =
            e.offset + 30 + Field(data_, e.offset + 26, 2) + Field(data_, e.offset + 28, 2);
        if (start + e.packed > data_.size()) throw std::runtime_error("entry " + name + " is cut short");
        std::string out(e.size, '\0');
        if (e.method == 0 && e.packed == e.size) {
            out = data_.substr(start, e.size);
        } else if (e.method == 8) {
            z_stream z{};
            if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::runtime_error("no inflater");
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data_.data() + start));
            z.avail_in = e.packed;
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = e.size;
            const int result = inflate(&z, Z_FINISH);
            inflateEnd(&z);
            if (result != Z_STREAM_END || z.total_out != e.size)
                throw std::runtime_error("entry " + name + " does not inflate");
        } else {
            throw std::runtime_error("entry " + name + " is packed by method " + std::to_string(e.method));
        }
        if (crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) != e.crc)
            throw std::runtime_error("entry " + name + " fails its CRC");
        return out;
    }
    throw std::runtime_error("the zip archive has no " + name);
}

std::vector<ManifestComponent> ReadManifest(const std::string& xml) {
    if (!std::regex_search(xml, std::regex(R"(<bundle\s[^>]*xmlns="http://v8\.1c\.ru/8\.2/addin/bundle")")))
        throw std::runtime_error("MANIFEST.XML is no bundle of the platform: " + xml);
    std::vector<ManifestComponent> found;
    const std::regex component(R"(<component\s([^>]*)/?>)");
    for (std::sregex_iterator it(xml.begin(), xml.end(), component), end; it != end; ++it) {
        const std::string attributes = (*it)[1];
        auto attribute = [&](const char* name) {
            std::smatch m;
            return std::regex_search(attributes, m, std::regex(std::string(name) + R"re(="([^"]*)")re"))
                       ? m[1].str()
                       : std::string();
        };
        found.push_back({attribute("os"), attribute("arch"), attribute("type"), attribute("path")});
    }
    return found;
}

bool TestMemory::AllocMemory(void** memory, unsigned long bytes) {
    if (memory == nullptr) return false;
    *memory = std::malloc(bytes == 0 ? 1 : bytes);
    const std::lock_guard lock(lock_);
    live_.insert(*memory);
    ++given_;
    return *memory != nullptr;
}

void TestMemory::FreeMemory(void** memory) {
    if (memory == nullptr || *memory == nullptr) return;
    const std::lock_guard lock(lock_);
    if (live_.erase(*memory) == 0) {
        faults_.push_back("a block freed that is not given out");
    } else {
        std::free(*memory);
    }
    *memory = nullptr;
}

std::size_t TestMemory::Live() const {
    const std::lock_guard lock(lock_);
    return live_.size();
}
std::size_t TestMemory::Given() const {
    const std::lock_guard lock(lock_);
    return given_;
}
std::vector<std::string> TestMemory::Faults() const {
    const std::lock_guard lock(lock_);
    return faults_;
}

bool TestConnection::AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr, long scode) {
    const std::lock_guard lock(lock_);
    errors_.push_back({wcode, Utf8Of(source), Utf8Of(descr), scode});
    return true;
}

bool TestConnection::SetEventBufferDepth(long depth) {
    const std::lock_guard lock(lock_);
    depth_ = depth;
    return true;
}

long TestConnection::GetEventBufferDepth() {
    const std::lock_guard lock(lock_);
    return depth_;
}

bool TestConnection::ExternalEvent(WCHAR_T* source, WCHAR_T* message, WCHAR_T* data) {
    const std::lock_guard lock(lock_);
    if (static_cast<long>(queue_.size()) >= depth_) {
        ++lost_;
    } else {
        queue_.push_back({Utf8Of(source), Utf8Of(message), Utf8Of(data), std::this_thread::get_id()});
        arrived_.notify_all();
    }
    return true;
}

void TestConnection::CleanEventBuffer() {
    const std::lock_guard lock(lock_);
    queue_.clear();
}

bool TestConnection::SetStatusLine(WCHAR_T* statusLine) {
    const std::lock_guard lock(lock_);
    status_ = Utf8Of(statusLine);
    return true;
}

void TestConnection::ResetStatusLine() {
    const std::lock_guard lock(lock_);
    status_.clear();
}

TestConnection::Event TestConnection::NextEvent(int ms) {
    std::unique_lock lock(lock_);
    if (!arrived_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !queue_.empty(); }))
        throw std::runtime_error("no external event came");
    Event event = queue_.front();
    queue_.erase(queue_.begin());
    return event;
}

std::size_t TestConnection::Queued() const {
    const std::lock_guard lock(lock_);
    return queue_.size();
}
std::size_t TestConnection::Lost() const {
    const std::lock_guard lock(lock_);
    return lost_;
}
std::vector<TestConnection::Error> TestConnection::Errors() const {
    const std::lock_guard lock(lock_);
    return errors_;
}

Value Value::Number(long n) {
    Value v;
    v.vt = VTYPE_I4;
    v.number = n;
    return v;
}
Value Value::Real(double d) {
    Value v;
    v.vt = VTYPE_R8;
    v.real = d;
    return v;
}
Value Value::Flag(bool b) {
    Value v;
    v.vt = VTYPE_BOOL;
    v.flag = b;
    return v;
}
Value Value::Text(std::string s) {
    Value v;
    v.vt = VTYPE_PWSTR;
    v.text = std::move(s);
    return v;
}
Value Value::Date(int year, int month, int day, int hour, int minute, int second) {
    Value v;
    v.vt = VTYPE_TM;
    v.date.tm_year = year - 1900;
    v.date.tm_mon = month - 1;
    v.date.tm_mday = day;
    v.date.tm_hour = hour;
    v.date.tm_min = minute;
    v.date.tm_sec = second;
    return v;
}

ComponentLibrary::ComponentLibrary(const std::string& zip, const std::string& folder) {
    const ZipArchive archive(zip);
    std::string path;
    for (const ManifestComponent& c : ReadManifest(archive.Read("MANIFEST.XML")))
        if (c.os == "Linux" && c.type == "native" && c.arch == (sizeof(void*) == 8 ? "x86_64" : "i386"))
            path = c.path;
    if (path.empty()) throw std::runtime_error("the manifest names no component for this system");
    const std::string file = folder + "/" + path;
    std::ofstream(file, std::ios::binary) << archive.Read(path);
    handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr)
        throw std::runtime_error(std::string("the component does not load: ") + ::dlerror());
    auto find = [this](const char* name) {
        void* symbol = ::dlsym(handle_, name);
        if (symbol == nullptr) throw std::runtime_error(std::string("the component does not export ") + name);
        return symbol;
    };
    const auto names = reinterpret_cast<GetClassNamesFn>(find("GetClassNames"));
    GetClassObject = reinterpret_cast<GetClassObjectFn>(find("GetClassObject"));
    DestroyObject = reinterpret_cast<DestroyObjectFn>(find("DestroyObject"));
    const auto capabilities = reinterpret_cast<SetPlatformCapabilitiesFn>(find("SetPlatformCapabilities"));
    const auto attach = reinterpret_cast<GetAttachTypeFn>(find("GetAttachType"));
    std::stringstream list(Utf8Of(names()));
    for (std::string name; std::getline(list, name, '|');) classes_.push_back(name);
    if (capabilities(eAppCapabilities3) > eAppCapabilities3)
        throw std::runtime_error("capabilities beyond the offer");
    attach_ = attach();
}

ComponentLibrary::~ComponentLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

PlatformObject::PlatformObject(ComponentLibrary& library, TestMemory& memory, const std::string& className)
    : library_(library), memory_(memory) {
    if (library_.GetClassObject(Utf16(className).c_str(), &object_) == 0 || object_ == nullptr)
        throw std::runtime_error("GetClassObject refused " + className);
    object_->setMemManager(&memory_);
    if (!object_->Init(&connection_)) Raise("Init failed");
    version_ = object_->GetInfo();
    WCHAR_T* name = nullptr;
    if (!object_->RegisterExtensionAs(&name)) Raise("RegisterExtensionAs failed");
    extension_ = Take(name);
    object_->SetLocale(u"ru_RU");
}

PlatformObject::~PlatformObject() {
    object_->Done();
    library_.DestroyObject(&object_);
}

std::string PlatformObject::Take(const WCHAR_T* text) {
    std::string taken = Utf8Of(text);
    void* block = const_cast<WCHAR_T*>(text);
    memory_.FreeMemory(&block);
    return taken;
}

void PlatformObject::Raise(const std::string& fallback) {
    const std::vector<TestConnection::Error> errors = connection_.Errors();
    const std::string text = errors.size() > errorsSeen_ ? errors.back().text : fallback;
    errorsSeen_ = errors.size();
    throw ScriptError(text);
}

void PlatformObject::Set(const std::string& name, const Value& value) {
    const long index = object_->FindProp(Utf16(name).c_str());
    if (index < 0) throw ScriptError("Поле объекта не обнаружено (" + name + ")");
    if (!object_->IsPropWritable(index))
        throw ScriptError("Поле объекта недоступно для записи (" + name + ")");
    tVariant v{};
    v.vt = value.vt;
    std::u16string text = Utf16(value.text);
    switch (value.vt) {
        case VTYPE_I4:
            v.lVal = static_cast<std::int32_t>(value.number);
            break;
        case VTYPE_R8:
            v.dblVal = value.real;
            break;
        case VTYPE_BOOL:
            v.bVal = value.flag;
            break;
        case VTYPE_TM:
            v.tmVal = value.date;
            break;
        case VTYPE_PWSTR:
            v.pwstrVal = text.data();
            v.wstrLen = static_cast<std::uint32_t>(text.size());
            break;
        default:
            break;
    }
    if (!object_->SetPropVal(index, &v)) Raise("SetPropVal failed for " + name);
}

Value PlatformObject::Get(const std::string& name) {
    const long index = object_->FindProp(Utf16(name).c_str());
    if (index < 0) throw ScriptError("Поле объекта не обнаружено (" + name + ")");
    if (!object_->IsPropReadable(index))
        throw ScriptError("Поле объекта недоступно для чтения (" + name + ")");
    tVariant v{};
    if (!object_->GetPropVal(index, &v)) Raise("GetPropVal failed for " + name);
    Value out;
    out.vt = v.vt;
    switch (v.vt) {
        case VTYPE_I4:
            out.number = v.lVal;
            break;
        case VTYPE_R8:
            out.real = v.dblVal;
            break;
        case VTYPE_BOOL:
            out.flag = v.bVal;
            break;
        case VTYPE_TM:
            out.date = v.tmVal;
            break;
        case VTYPE_PWSTR:
            if (v.pwstrVal == nullptr || v.pwstrVal[v.wstrLen] != 0)
                throw std::runtime_error("a text without its terminating NUL");
            out.text = Utf8(std::u16string_view(v.pwstrVal, v.wstrLen));
            Take(v.pwstrVal);
            break;
        default:
            break;
    }
    return out;
}

Value PlatformObject::Call(const std::string& name) {
    const long index = object_->FindMethod(Utf16(name).c_str());
    if (index < 0) throw ScriptError("Метод объекта не обнаружен (" + name + ")");
    if (object_->GetNParams(index) != 0) throw std::runtime_error(name + " wants parameters");
    if (!object_->HasRetVal(index)) {
        if (!object_->CallAsProc(index, nullptr, 0)) Raise("CallAsProc failed for " + name);
        return {};
    }
    tVariant v{};
    if (!object_->CallAsFunc(index, &v, nullptr, 0)) Raise("CallAsFunc failed for " + name);
    Value out;
    out.vt = v.vt;
    out.number = v.vt == VTYPE_I4 ? v.lVal : 0;
    return out;
}

}  // namespace native_host
