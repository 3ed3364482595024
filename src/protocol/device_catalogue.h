// The catalogue of device types and the typed exchange built on it.
//
// Fifteen device types share the protocol; each has its own reply time-out,
// accepted commands and, per command, the shape of request and reply. The
// ZORVAT-7X instruments are identified through type 1.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

#include "result_codes.h"

namespace zorvat {

class TExCOM;

struct TCommandModes {
    std::uint8_t RequestMode = 0;  // 0 no data, 1 data required, 2 data field always present
    std::uint8_t ReplyMode =
        0;  // 0 "$0" expected, 1 data from the address, 2 data from any address
};

struct TDeviceInfo {
    std::int16_t TypeCode = 0;
    std::string TypeName;
    std::uint16_t ReplyTimeout = 0;
    std::int16_t Channels = 0;
    std::int16_t AuxValues = 0;
    std::string ChannelLayout;
    std::bitset<256> Commands;
    std::array<TCommandModes, 256> Modes{};
    std::bitset<256> ErrorNumbers;
    std::array<std::string, 256> ErrorTexts;
};

inline constexpr std::size_t kDeviceTypeCount = 15;

// The whole catalogue, in catalogue order; built once, never changed.
const std::array<TDeviceInfo, kDeviceTypeCount>& DeviceInfos();

// Copies the entry of `typeCode` into `entry`. -17 when there is none; the
// entry is then cleared.
TResult FindDeviceInfo(std::int16_t typeCode, TDeviceInfo& entry);

// Sets the port's time-out to the type's; type 0 leaves it unchanged.
TResult SetTimeoutForType(TExCOM& port, std::int16_t typeCode);

// One typed transaction: checks the type and command in the catalogue, sends
// the request, reads and judges the reply. `data` goes in as the request's
// data field and comes out as the reply's.
TResult Exchange(TExCOM& port, std::int16_t typeCode, std::uint8_t address, std::uint8_t command,
                 std::string& data);

}  // namespace zorvat
