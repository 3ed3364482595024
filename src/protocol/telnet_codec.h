// The Telnet side of a serial device server in RFC 2217 mode: data bytes
// with 0xFF doubled, option negotiation, and the COM port control option's
// commands that set the line as a local port sets it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvat::telnet {

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

// Client-to-server commands of the COM port control option.
enum class ComPort : std::uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    PurgeData = 12,
};
// Values of SetControl and PurgeData used here.
inline constexpr std::uint8_t kNoFlowControl = 1;
inline constexpr std::uint8_t kBreakOff = 6;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kPurgeBoth = 3;
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kStopBitsOne = 1;

// Data for the wire: every 0xFF doubled.
std::string Escape(std::string_view data);

// IAC SB COM-PORT-OPTION command value... IAC SE, the value escaped.
std::string ComPortCommand(ComPort command, std::string_view value);
// The four bytes of a baud rate, network order.
std::string BaudValue(std::uint32_t baud);

// What the client offers when it connects: binary both ways, no go-ahead,
// and the COM port control option.
std::string Greeting();

// Splits what the server sends into data and Telnet commands, across reads.
// Negotiation is answered: the options of Greeting() are agreed to, every
// other one refused, and nothing is answered twice.
class Decoder {
  public:
    // The client has sent Greeting(): the server's agreement to it is not
    // answered again.
    Decoder();
    // Appends the data bytes of `in` to `data` and the answers owed to the
    // server to `answer`.
    void Feed(std::string_view in, std::string& data, std::string& answer);

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    bool answered_[2][256] = {};  // [0] to DO/DONT, [1] to WILL/WONT: last answer sent
    bool answeredAny_[2][256] = {};
};

}  // namespace zorvat::telnet
