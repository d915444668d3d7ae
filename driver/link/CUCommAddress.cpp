#include "driver/link/CUCommAddress.h"

#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "common/platform/PortMap.h"
#include "driver/link/CUComm.h"

namespace {

struct TScheme {
    std::string_view prefix;
    TNetKind kind;
};
constexpr TScheme kSchemes[] = {{"tcp://", TNetKind::Tcp}, {"rfc2217://", TNetKind::Rfc2217}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

const TScheme* SchemeOf(std::string_view text) {
    for (const TScheme& scheme : kSchemes)
        if (StartsWithNoCase(text, scheme.prefix)) return &scheme;
    return nullptr;
}

std::uint16_t ParsePort(std::string_view digits) {
    if (digits.empty()) throw std::invalid_argument("не указан порт TCP");
    unsigned long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            throw std::invalid_argument("порт TCP должен быть числом, а не '" + std::string(digits) + "'");
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535) break;
    }
    if (value < 1 || value > 65535)
        throw std::invalid_argument("порт TCP должен быть от 1 до 65535, а не " + std::string(digits));
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string TNetAddress::Text() const {
    const std::string scheme = kind == TNetKind::Rfc2217 ? "rfc2217://" : "tcp://";
    const bool v6 = host.find(':') != std::string::npos;
    return scheme + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsNetworkAddress(std::string_view text) {
    return SchemeOf(text) != nullptr;
}

TNetAddress ParseNetworkAddress(std::string_view text) {
    const TScheme* scheme = SchemeOf(text);
    if (scheme == nullptr) throw std::invalid_argument("адрес должен начинаться с tcp:// или rfc2217://");
    std::string_view rest = text.substr(scheme->prefix.size());
    TNetAddress address;
    address.kind = scheme->kind;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            throw std::invalid_argument("нет закрывающей скобки адреса IPv6");
        address.host = std::string(rest.substr(1, close - 1));
        rest = rest.substr(close + 1);
        if (rest.empty() || rest.front() != ':') throw std::invalid_argument("не указан порт TCP");
        port = rest.substr(1);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos) throw std::invalid_argument("не указан порт TCP");
        address.host = std::string(rest.substr(0, colon));
        if (address.host.find(':') != std::string::npos)
            throw std::invalid_argument("адрес IPv6 пишется в скобках: [адрес]:порт");
        port = rest.substr(colon + 1);
    }
    if (address.host.empty()) throw std::invalid_argument("не указан узел");
    // A path or a query after the port would be silently ignored by the connection: refuse it.
    if (const auto slash = port.find('/'); slash != std::string_view::npos)
        throw std::invalid_argument("после порта ничего не пишется");
    address.port = ParsePort(port);
    return address;
}

std::optional<TCommMapping> FindCommMapping(int portNumber) {
    const std::string variable = "TESSEL_" + ComName(portNumber);
    if (const char* text = std::getenv(variable.c_str()); text != nullptr && *text != '\0')
        return TCommMapping{text, variable};
    if (std::string text = tessel::MappedPortPath(portNumber); !text.empty())
        return TCommMapping{std::move(text), "Ports\\" + ComName(portNumber)};
    return std::nullopt;
}

bool IsNetworkPort(int portNumber) {
    const auto mapping = FindCommMapping(portNumber);
    return mapping && IsNetworkAddress(mapping->text);
}

std::string CommNetworkText(int portNumber) {
    try {
        const auto mapping = FindCommMapping(portNumber);
        if (mapping && IsNetworkAddress(mapping->text)) return mapping->text;
    } catch (const std::exception&) {
        // A damaged store is reported by whoever opens the port; a title just leaves the address out.
    }
    return {};
}

std::string CommPortTitle(int portNumber) {
    const std::string address = CommNetworkText(portNumber);
    return ComName(portNumber) + (address.empty() ? "" : " (" + address + ")");
}
