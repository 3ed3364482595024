#include "telnet_codec.h"

namespace zorvat::telnet {

namespace {

char Byte(std::uint8_t b) {
    return static_cast<char>(b);
}

std::string Command(std::uint8_t verb, std::uint8_t option) {
    return {Byte(kIac), Byte(verb), Byte(option)};
}

bool Wanted(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

}  // namespace

std::string Escape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac) out += c;
    }
    return out;
}

std::string ComPortCommand(ComPort command, std::string_view value) {
    std::string out{Byte(kIac), Byte(kSb), Byte(kComPort),
                    Byte(static_cast<std::uint8_t>(command))};
    out += Escape(value);
    out += Byte(kIac);
    out += Byte(kSe);
    return out;
}

std::string BaudValue(std::uint32_t baud) {
    return {Byte(static_cast<std::uint8_t>(baud >> 24)),
            Byte(static_cast<std::uint8_t>(baud >> 16)), Byte(static_cast<std::uint8_t>(baud >> 8)),
            Byte(static_cast<std::uint8_t>(baud))};
}

std::string Greeting() {
    return Command(kWill, kBinary) + Command(kDo, kBinary) + Command(kWill, kSuppressGoAhead) +
           Command(kDo, kSuppressGoAhead) + Command(kWill, kComPort);
}

Decoder::Decoder() {
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        answered_[0][option] = answeredAny_[0][option] = true;  // WILL sent
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        answered_[1][option] = answeredAny_[1][option] = true;  // DO sent
    }
}

void Decoder::Feed(std::string_view in, std::string& data, std::string& answer) {
    for (const char c : in) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
            case State::Data:
                if (b == kIac)
                    state_ = State::Iac;
                else
                    data += c;
                break;
            case State::Iac:
                if (b == kIac) {
                    data += c;
                    state_ = State::Data;
                } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                    verb_ = b;
                    state_ = State::Option;
                } else if (b == kSb) {
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // NOP, GA and the like: nothing to do
                }
                break;
            case State::Option: {
                // DO/DONT ask what this side does; WILL/WONT tell what the
                // server does.
                const bool asked = verb_ == kDo || verb_ == kDont;
                const bool on = (verb_ == kDo || verb_ == kWill) && Wanted(b);
                const int side = asked ? 0 : 1;
                if (!answeredAny_[side][b] || answered_[side][b] != on) {
                    answer += Command(asked ? (on ? kWill : kWont) : (on ? kDo : kDont), b);
                    answered_[side][b] = on;
                    answeredAny_[side][b] = true;
                }
                state_ = State::Data;
                break;
            }
            case State::Sub:
                // The server's notifications (line state, the rate it took)
                // are not needed: the exchange's own checks tell success.
                if (b == kIac) state_ = State::SubIac;
                break;
            case State::SubIac:
                state_ = b == kSe ? State::Data : State::Sub;
                break;
        }
    }
}

}  // namespace zorvat::telnet
