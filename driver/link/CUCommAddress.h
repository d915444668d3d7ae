#pragma once
// Where a COM number leads: a serial device of this system, or a register reached over the network. A
// network address is "tcp://HOST:PORT" (a raw byte stream: a converter in TCP-server mode, ser2net in raw
// mode) or "rfc2217://HOST:PORT" (Telnet with the COM-port control option, through which the driver sets the
// remote line's speed, data format and modem lines). HOST is a name, an IPv4 address or an IPv6 address in
// brackets. Both are mapped where device paths are: TESSEL_COM<N>, or "COM<N>" of the settings store's
// "Software\Korvex\TesselDrv\TesselDrv\Ports".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class TNetKind { Tcp, Rfc2217 };

struct TNetAddress {
    TNetKind kind = TNetKind::Tcp;
    std::string host;  // without the brackets of an IPv6 address
    std::uint16_t port = 0;

    // "tcp://HOST:PORT" or "rfc2217://HOST:PORT", an IPv6 host in brackets.
    std::string Text() const;
};

// Whether `text` begins with a network scheme ("tcp://", "rfc2217://", either case).
bool IsNetworkAddress(std::string_view text);

// Parses a network address. Throws std::invalid_argument with the reason in the user's words: another
// scheme, no host, no port, a port outside 1..65535, an unclosed bracket, anything after the port.
TNetAddress ParseNetworkAddress(std::string_view text);

// What COM<N> is mapped to, and where: TESSEL_COM<N> when set and not empty, else the settings store's
// "Ports\COM<N>"; nullopt when neither maps it. `source` is "TESSEL_COM<N>" or "Ports\COM<N>". Throws
// tessel::RegistryError for a damaged settings file or a value that is not a string.
struct TCommMapping {
    std::string text;
    std::string source;
};
std::optional<TCommMapping> FindCommMapping(int portNumber);

// Whether COM<N> is mapped to a network address. Throws as FindCommMapping does.
bool IsNetworkPort(int portNumber);

// The network address COM<N> is mapped to, as mapped ("tcp://10.0.0.7:4001"); empty for a serial port, or
// when the settings cannot be read. Never throws: for lists and messages.
std::string CommNetworkText(int portNumber);

// COM<N> as lists and log lines name it: "COM5" for a serial port, "COM5 (tcp://10.0.0.7:4001)" for a
// network one. Never throws.
std::string CommPortTitle(int portNumber);
