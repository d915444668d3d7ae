#pragma once
// A serial line carried over Telnet with the COM-port control option (RFC 854, RFC 2217): the line's bytes
// with the Telnet command byte doubled, the negotiation of the options each side wants, and the option's
// commands that set and report the remote line. One object per connection, for either side: the driver's
// network port is the client, the emulator's network line the access server. Not synchronised.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/Bytes.h"

namespace telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// Commands of the COM-port option as the client sends them; the access server acknowledges each with the
// code plus kServerOffset and the value it put in use.
enum TComPortCode : std::uint8_t {
    cpSignature = 0,
    cpSetBaudRate = 1,  // 4 bytes, network order; 0 asks for the rate in use
    cpSetDataSize = 2,  // 5..8
    cpSetParity = 3,    // 1 none, 2 odd, 3 even, 4 mark, 5 space
    cpSetStopSize = 4,  // 1 one, 2 two, 3 one and a half
    cpSetControl = 5,   // the values below
    cpPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values for flow control and the modem lines.
inline constexpr std::uint8_t kNoFlowControl = 1;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;

// The rate as the command carries it, and back (0 for a value of another length).
Bytes BaudValue(std::uint32_t baud);
std::uint32_t BaudOfValue(const Bytes& value);

}  // namespace telnet

class TTelnetSession {
  public:
    enum class TRole { Client, Server };

    // `signature` answers the peer's request for it.
    TTelnetSession(TRole role, std::string signature);

    // What opens the session: binary transmission and no go-ahead asked for both ways, and the COM-port
    // option offered (client: WILL) or asked for (access server: DO).
    Bytes Greeting();

    // The line's bytes as they go into the connection (255 doubled).
    static Bytes EncodeData(const Bytes& data);
    // One command of the COM-port option with its value, 255 doubled: IAC SB 44 code value IAC SE.
    static Bytes ComPortCommand(std::uint8_t code, const Bytes& value = {});

    struct TReceived {
        Bytes data;   // the line's bytes
        Bytes reply;  // what must go back at once: answers to the peer's negotiation and signature request
        // Commands of the COM-port option, code and value, in order (signature requests are answered here).
        std::vector<std::pair<std::uint8_t, Bytes>> commands;
    };
    // Takes bytes from the connection, in any pieces: a command cut between two pieces is completed by the
    // next. What it yields is appended to `out`. A subnegotiation longer than any command of the option is
    // dropped whole.
    void Feed(const std::uint8_t* bytes, std::size_t size, TReceived& out);

    // The peer agreed to the COM-port option (the client was told DO, the access server WILL).
    bool ComPortAgreed() const;
    // The peer refused it.
    bool ComPortRefused() const;

  private:
    enum class TState { Data, Iac, Verb, Sub, SubIac };
    // One side of the options: this side's (WILL/WONT) or the peer's (DO/DONT).
    struct TSide {
        std::vector<bool> wanted = std::vector<bool>(256, false);
        std::vector<bool> enabled = std::vector<bool>(256, false);
        std::vector<bool> requested = std::vector<bool>(256, false);
        std::vector<bool> refused = std::vector<bool>(256, false);
    };

    // The peer's DO/DONT (about this side) or WILL/WONT (about the peer).
    void Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& reply);
    static void Answer(TSide& side, std::uint8_t option, bool on, std::uint8_t yes, std::uint8_t no,
                       Bytes& reply);
    void EndSub(TReceived& out);

    TRole role_;
    std::string signature_;
    TSide us_;
    TSide peer_;
    TState state_ = TState::Data;
    std::uint8_t verb_ = 0;
    Bytes sub_;
    bool subOverflow_ = false;
};
