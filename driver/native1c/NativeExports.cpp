// The library's exports, by which the platform lists the component's classes and makes and frees its objects.
#include <memory>
#include <new>
#include <string>

#include "common/com/ComText.h"
#include "driver/native1c/NativeDriver.h"
#include "driver/native1c/NativeValues.h"

namespace {

// The class names, separated by '|'; the platform keeps the pointer, so it lives as long as the library.
const WCHAR_T* ClassNames() {
    static const std::basic_string<WCHAR_T> names = [] {
        const tessel::UniqueBstr text = tessel::Utf8ToBstr(TNativeDriver::ClassName);
        return std::basic_string<WCHAR_T>(text.get(), SysStringLen(text.get()));
    }();
    return names.c_str();
}

}  // namespace

extern "C" {

const WCHAR_T* GetClassNames() {
    try {
        return ClassNames();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Nonzero once *object holds a new object; 0 for another class name, an occupied slot or a failure.
long GetClassObject(const WCHAR_T* className, IComponentBase** object) {
    if (object == nullptr || *object != nullptr) return 0;
    try {
        if (Utf8FromNative(className) != TNativeDriver::ClassName) return 0;
        *object = std::make_unique<TNativeDriver>().release();
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

// 0 once the object is freed and *object cleared; -1 for no object.
long DestroyObject(IComponentBase** object) {
    if (object == nullptr || *object == nullptr) return -1;
    std::unique_ptr<IComponentBase> owned(*object);
    *object = nullptr;
    owned.reset();
    return 0;
}

// The component asks nothing of the platform beyond the first set: no message boxes, no platform details.
AppCapabilities SetPlatformCapabilities(const AppCapabilities) {
    return eAppCapabilities1;
}

// The component keeps no state in the platform's process that a separate one would lose.
AttachType GetAttachType() {
    return eCanAttachAny;
}
}
