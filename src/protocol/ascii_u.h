// Frame codec of the instruments' ASCII protocol.
//
//   request        ":" address ";" command ";" [parameter ";" [value ";"]] checksum CR
//   typed request  0xFF ":" address ";" command ";" [data ";"] checksum CR
//   reply          "!" address ";" field ";" ... checksum CR
//
// The checksum is CRC-16/MODBUS over the body (after ":" or "!" up to and
// including the last ";"), written in decimal. Nothing here does any I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "result_codes.h"

namespace zorvat {

inline constexpr char kCR = '\r';
inline constexpr char kTypedPrefix = static_cast<char>(0xFF);
inline constexpr std::size_t kMaxReplyLength = 255;
inline constexpr std::size_t kMaxChecksumInput = 249;
inline constexpr std::size_t kMaxReplyFields = 256;

// The raw CRC-16/MODBUS of a byte string (initial FFFF, reflected poly A001).
std::uint16_t Crc16Modbus(std::string_view bytes);

// Checksum text of a frame without its checksum and CR (2 to 249 characters,
// including a leading 0xFF). Result 0, -15 (length) or -16 (no ":"/"!", empty body).
TResult FrameChecksum(std::string_view text, std::string& checksum);
// Zero-terminated form: copies the checksum into `buffer` (when given) of `size` bytes.
TResult FrameChecksum(const char* text, char* buffer, std::size_t size);

// Builds a typed request frame (0xFF ":" ...). Request mode 0: no data field;
// 1: data required (empty gives -2); 2: data field always present, maybe empty.
TResult BuildRequest(std::uint8_t address, std::uint8_t command, std::uint8_t requestMode,
                     std::string_view data, std::string& frame);

struct SplitFrame {
    char marker = 0;                  // ':' or '!'
    std::vector<std::string> fields;  // the checksum is the last field
    std::string rebuilt;              // marker + every field but the last, each with ";"
};

// Takes a frame apart at its ";". Result 0, -15 or -16.
TResult SplitReply(std::string_view text, SplitFrame& out);

// Splits, checks the checksum and returns the reply's address (low 8 bits of
// the first field) and data. A checksum field that is not a number gives -19.
TResult ParseReply(std::string_view reply, std::uint8_t& address, std::string& data);
// Zero-terminated form: copies the data into `buffer` (when given) of `size` bytes.
TResult ParseReply(const char* reply, std::uint8_t& address, char* buffer, std::size_t size);

// Judges a parsed reply by the catalogue's reply mode (0 acknowledgement,
// 1 data from the addressed instrument, 2 data from any address).
TResult CheckReply(std::uint8_t replyMode, std::uint8_t sentAddress, std::uint8_t replyAddress,
                   std::string_view data);

// "$n" gives -1000-n; anything else -21.
TResult DeviceErrorCode(std::string_view data);

}  // namespace zorvat
