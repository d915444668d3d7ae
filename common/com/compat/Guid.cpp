// The system's GUID text functions (StringFromGUID2, IIDFromString, CLSIDFromString).
#include <string>

#include "common/com/ComCreate.h"
#include "common/com/ComTypes.h"

namespace {

// GUID texts are ASCII; anything else cannot be one.
std::optional<std::string> AsciiOf(LPCOLESTR text) {
    std::string out;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        if (text[i] > 0x7F || i > 256) return std::nullopt;
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    const std::string text = tessel::GuidToString(guid);
    if (buffer == nullptr || cchMax < static_cast<int>(text.size()) + 1) return 0;
    for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
    buffer[text.size()] = 0;
    return static_cast<int>(text.size()) + 1;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID iid) {
    if (iid == nullptr) return E_INVALIDARG;
    if (text == nullptr) {
        *iid = IID_NULL;
        return S_OK;
    }
    const auto ascii = AsciiOf(text);
    const auto guid = ascii ? tessel::GuidFromString(*ascii) : std::nullopt;
    if (!guid) return E_INVALIDARG;
    *iid = *guid;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (clsid == nullptr) return E_INVALIDARG;
    if (text == nullptr) {
        *clsid = CLSID_NULL;
        return S_OK;
    }
    if (text[0] == u'{') {
        const auto ascii = AsciiOf(text);
        const auto guid = ascii ? tessel::GuidFromString(*ascii) : std::nullopt;
        if (!guid) return CO_E_CLASSSTRING;
        *clsid = *guid;
        return S_OK;
    }
    const HRESULT hr = CLSIDFromProgID(text, clsid);
    return FAILED(hr) ? CO_E_CLASSSTRING : hr;
}

}  // extern "C"
