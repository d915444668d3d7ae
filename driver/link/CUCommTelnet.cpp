#include "driver/link/CUCommTelnet.h"

namespace {

using namespace telnet;

// Longer than any command of the option with its value (a signature text is the longest).
constexpr std::size_t kMaxSub = 256;

void AppendEscaped(Bytes& out, std::uint8_t b) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
}

}  // namespace

namespace telnet {

Bytes BaudValue(std::uint32_t baud) {
    return {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
            static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
}

std::uint32_t BaudOfValue(const Bytes& value) {
    if (value.size() != 4) return 0;
    return (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
           (std::uint32_t{value[2]} << 8) | value[3];
}

}  // namespace telnet

TTelnetSession::TTelnetSession(TRole role, std::string signature)
    : role_(role), signature_(std::move(signature)) {
    for (TSide* side : {&us_, &peer_}) {
        side->wanted[kBinary] = true;
        side->wanted[kSuppressGoAhead] = true;
    }
    // The client issues the option's commands, the access server takes them.
    (role_ == TRole::Client ? us_ : peer_).wanted[kComPort] = true;
}

Bytes TTelnetSession::Greeting() {
    Bytes out;
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        if (us_.wanted[option] && !us_.enabled[option]) {
            us_.requested[option] = true;
            out.insert(out.end(), {kIac, kWill, option});
        }
        if (peer_.wanted[option] && !peer_.enabled[option]) {
            peer_.requested[option] = true;
            out.insert(out.end(), {kIac, kDo, option});
        }
    }
    return out;
}

Bytes TTelnetSession::EncodeData(const Bytes& data) {
    Bytes out;
    out.reserve(data.size() + 4);
    for (const std::uint8_t b : data) AppendEscaped(out, b);
    return out;
}

Bytes TTelnetSession::ComPortCommand(std::uint8_t code, const Bytes& value) {
    Bytes out{kIac, kSb, kComPort};
    AppendEscaped(out, code);
    for (const std::uint8_t b : value) AppendEscaped(out, b);
    out.insert(out.end(), {kIac, kSe});
    return out;
}

bool TTelnetSession::ComPortAgreed() const {
    return role_ == TRole::Client ? us_.enabled[kComPort] : peer_.enabled[kComPort];
}

bool TTelnetSession::ComPortRefused() const {
    return role_ == TRole::Client ? us_.refused[kComPort] : peer_.refused[kComPort];
}

void TTelnetSession::Feed(const std::uint8_t* bytes, std::size_t size, TReceived& out) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
            case TState::Data:
                if (b == kIac) {
                    state_ = TState::Iac;
                } else {
                    out.data.push_back(b);
                }
                break;
            case TState::Iac:
                state_ = TState::Data;
                if (b == kIac) {
                    out.data.push_back(kIac);
                } else if (b == kDo || b == kDont || b == kWill || b == kWont) {
                    verb_ = b;
                    state_ = TState::Verb;
                } else if (b == kSb) {
                    sub_.clear();
                    subOverflow_ = false;
                    state_ = TState::Sub;
                }
                // Any other command (NOP, go-ahead, a stray SE) carries nothing for the line.
                break;
            case TState::Verb:
                Negotiate(verb_, b, out.reply);
                state_ = TState::Data;
                break;
            case TState::Sub:
                if (b == kIac) {
                    state_ = TState::SubIac;
                } else if (sub_.size() < kMaxSub) {
                    sub_.push_back(b);
                } else {
                    subOverflow_ = true;
                }
                break;
            case TState::SubIac:
                if (b == kIac) {
                    if (sub_.size() < kMaxSub) {
                        sub_.push_back(kIac);
                    } else {
                        subOverflow_ = true;
                    }
                    state_ = TState::Sub;
                } else if (b == kSe) {
                    EndSub(out);
                    state_ = TState::Data;
                } else {
                    // A subnegotiation cut short by another command: it is dropped, the command taken.
                    subOverflow_ = true;
                    EndSub(out);
                    state_ = TState::Iac;
                    --i;
                }
                break;
        }
    }
}

void TTelnetSession::EndSub(TReceived& out) {
    if (subOverflow_ || sub_.size() < 2 || sub_[0] != kComPort) return;
    const std::uint8_t code = sub_[1];
    Bytes value(sub_.begin() + 2, sub_.end());
    // A signature without text asks for this side's: the client's comes with code 0, the server's with 100.
    const std::uint8_t peerSignature = role_ == TRole::Client ? cpSignature + kServerOffset : cpSignature;
    if (code == peerSignature && value.empty()) {
        const std::uint8_t own = role_ == TRole::Client ? cpSignature : cpSignature + kServerOffset;
        const Bytes reply = ComPortCommand(own, Bytes(signature_.begin(), signature_.end()));
        out.reply.insert(out.reply.end(), reply.begin(), reply.end());
        return;
    }
    out.commands.emplace_back(code, std::move(value));
}

void TTelnetSession::Answer(TSide& side, std::uint8_t option, bool on, std::uint8_t yes, std::uint8_t no,
                            Bytes& reply) {
    const bool wasRequested = side.requested[option];
    side.requested[option] = false;
    if (on) {
        if (!side.wanted[option]) {
            reply.insert(reply.end(), {kIac, no, option});
            return;
        }
        if (side.enabled[option]) return;  // already so: nothing to acknowledge
        side.enabled[option] = true;
        side.refused[option] = false;
        if (!wasRequested) reply.insert(reply.end(), {kIac, yes, option});
        return;
    }
    if (wasRequested) side.refused[option] = true;
    if (!side.enabled[option]) return;
    side.enabled[option] = false;
    if (!wasRequested) reply.insert(reply.end(), {kIac, no, option});
}

void TTelnetSession::Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& reply) {
    switch (verb) {
        case kDo:
            return Answer(us_, option, true, kWill, kWont, reply);
        case kDont:
            return Answer(us_, option, false, kWill, kWont, reply);
        case kWill:
            return Answer(peer_, option, true, kDo, kDont, reply);
        case kWont:
            return Answer(peer_, option, false, kDo, kDont, reply);
        default:
            return;
    }
}
