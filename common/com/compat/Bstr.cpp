// BSTR storage: a 4-byte byte count, the UTF-16 units, a NUL unit. The pointer handed out points at the
// first unit, so the count sits just before it, where callers of the system's BSTR expect it.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/com/OleAuto.h"

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR AllocBytes(const void* src, std::size_t bytes) {
    // The count is 32 bits; leave room for the prefix and the terminator.
    if (bytes > std::numeric_limits<std::uint32_t>::max() - kPrefix - 2 * sizeof(OLECHAR)) return nullptr;
    // An odd byte count still needs a whole NUL unit after it.
    const std::size_t total = kPrefix + bytes + 2 * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(total));
    if (block == nullptr) return nullptr;
    const auto count = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &count, kPrefix);
    if (src != nullptr)
        std::memcpy(block + kPrefix, src, bytes);
    else
        std::memset(block + kPrefix, 0, bytes);
    std::memset(block + kPrefix + bytes, 0, 2 * sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(block + kPrefix);
}

std::size_t UnitsOf(const OLECHAR* text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    return AllocBytes(text, UnitsOf(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    return AllocBytes(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) {
    return AllocBytes(bytes, length);
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
    if (bstr == nullptr) return FALSE;
    // Allocate first: `text` may point into the old string.
    BSTR fresh = SysAllocStringLen(text, length);
    if (fresh == nullptr) return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) {
    if (bstr == nullptr) return FALSE;
    const std::size_t units = text == nullptr ? 0 : UnitsOf(text);
    if (units > std::numeric_limits<UINT>::max()) return FALSE;
    return SysReAllocStringLen(bstr, text, static_cast<UINT>(units));
}

void SysFreeString(BSTR bstr) {
    if (bstr == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    std::uint32_t count = 0;
    std::memcpy(&count, reinterpret_cast<const unsigned char*>(bstr) - kPrefix, kPrefix);
    return count;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

LPVOID CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void CoTaskMemFree(LPVOID memory) {
    std::free(memory);
}

}  // extern "C"
