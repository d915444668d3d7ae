#pragma once
// A host that behaves as 1C:Enterprise does with a Native API component in a zip: it reads the archive's
// manifest, unpacks the library named for this system, loads it, calls its exports in the platform's order,
// gives each object a connection and a memory manager, and reaches properties and methods by name as a
// configuration's script does, raising the platform's errors. Nothing of the driver is linked in.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/native1c/NativeApi.h"

namespace native_host {

std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view utf16);

// The files of a zip archive (stored or deflated entries), each checked against its CRC.
class ZipArchive {
  public:
    // Throws std::runtime_error for a file that is no readable zip archive.
    explicit ZipArchive(const std::string& path);
    std::vector<std::string> Names() const;
    // The entry's bytes; throws std::runtime_error when it is missing or damaged.
    std::string Read(const std::string& name) const;

  private:
    struct Entry {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc, packed, size, offset;
    };
    std::string data_;
    std::vector<Entry> entries_;
};

// One <component> of a manifest.
struct ManifestComponent {
    std::string os, arch, type, path;
};
// The components of MANIFEST.XML; throws std::runtime_error when its root is not the platform's bundle.
std::vector<ManifestComponent> ReadManifest(const std::string& xml);

// The platform's allocator: counts what it gives and records every free of something it did not give or
// gave back already.
class TestMemory final : public IMemoryManager {
  public:
    bool ADDIN_API AllocMemory(void** memory, unsigned long bytes) override;
    void ADDIN_API FreeMemory(void** memory) override;

    std::size_t Live() const;
    std::size_t Given() const;
    std::vector<std::string> Faults() const;

  private:
    mutable std::mutex lock_;
    std::set<void*> live_;
    std::size_t given_ = 0;
    std::vector<std::string> faults_;
};

// The platform's connection: records errors, external events (in a queue as deep as the buffer asked for;
// what does not fit is lost, as with the platform) and the status line.
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
                            long scode) override;
    bool ADDIN_API Read(WCHAR_T*, tVariant*, long*, WCHAR_T**) override { return false; }
    bool ADDIN_API Write(WCHAR_T*, tVariant*) override { return false; }
    bool ADDIN_API RegisterProfileAs(WCHAR_T*) override { return false; }
    bool ADDIN_API SetEventBufferDepth(long depth) override;
    long ADDIN_API GetEventBufferDepth() override;
    bool ADDIN_API ExternalEvent(WCHAR_T* source, WCHAR_T* message, WCHAR_T* data) override;
    void ADDIN_API CleanEventBuffer() override;
    bool ADDIN_API SetStatusLine(WCHAR_T* statusLine) override;
    void ADDIN_API ResetStatusLine() override;

    // The oldest queued event, waiting for one at most `ms`; throws std::runtime_error when none comes.
    Event NextEvent(int ms = 10000);
    std::size_t Queued() const;
    std::size_t Lost() const;
    std::vector<Error> Errors() const;

  private:
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    long depth_ = 1;
    std::vector<Event> queue_;
    std::size_t lost_ = 0;
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
    std::string text;
    std::tm date{};

    static Value Number(long n);
    static Value Real(double d);
    static Value Flag(bool b);
    static Value Text(std::string s);
    static Value Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
};

// The component's library, unpacked from the zip as the platform unpacks it and loaded once per process.
class ComponentLibrary {
  public:
    // Reads the zip's manifest, unpacks the Linux component for this architecture into `folder` and loads it,
    // then lists its classes and agrees capabilities as the platform does. Throws std::runtime_error.
    ComponentLibrary(const std::string& zip, const std::string& folder);
    ~ComponentLibrary();

    std::vector<std::string> ClassNames() const { return classes_; }
    AttachType Attach() const { return attach_; }
    GetClassObjectFn GetClassObject = nullptr;
    DestroyObjectFn DestroyObject = nullptr;

  private:
    void* handle_ = nullptr;
    std::vector<std::string> classes_;
    AttachType attach_{};
};

// One object made by `Новый("AddIn.<Name>.<Class>")`, with its own connection.
class PlatformObject {
  public:
    // Makes the object and initialises it in the platform's order. Throws std::runtime_error when the
    // library refuses.
    PlatformObject(ComponentLibrary& library, TestMemory& memory,
                   const std::string& className = "TesselDriver");
    // Done, then DestroyObject.
    ~PlatformObject();

    void Set(const std::string& name, const Value& value);
    Value Get(const std::string& name);
    // A method as a function when it has a value; its value (empty for a procedure).
    Value Call(const std::string& name);

    IComponentBase& Object() { return *object_; }
    TestConnection& Connection() { return connection_; }
    std::string Extension() const { return extension_; }
    long Version() const { return version_; }
    // A name the object gives, freed as the platform frees it.
    std::string Take(const WCHAR_T* text);

  private:
    [[noreturn]] void Raise(const std::string& fallback);

    ComponentLibrary& library_;
    TestMemory& memory_;
    TestConnection connection_;
    IComponentBase* object_ = nullptr;
    std::string extension_;
    long version_ = 0;
    std::size_t errorsSeen_ = 0;
};

}  // namespace native_host
