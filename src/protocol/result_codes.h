// Result codes of the serial link and device protocol.
//
// Every port, frame and transaction operation returns a signed 32-bit code:
// 0 is success, -1..-99 are failures of the port, the frame, the reply or the
// catalogue, -1000-n means a typed exchange was answered with the status "$n",
// and a positive n means a parameter read or write was answered with "$n".
#pragma once

#include <cstdint>

namespace zorvat {

using TResult = std::int32_t;

namespace rc {
inline constexpr TResult Ok = 0;
inline constexpr TResult Unknown = -1;
inline constexpr TResult BadArgument = -2;
inline constexpr TResult AlreadyOpen = -3;
inline constexpr TResult NoSuchPort = -4;
inline constexpr TResult PortBusy = -5;
inline constexpr TResult PortUnavailable = -6;
inline constexpr TResult GetSettingsFailed = -7;
inline constexpr TResult SetSettingsFailed = -8;
inline constexpr TResult NotOpen = -9;
inline constexpr TResult CloseFailed = -10;
inline constexpr TResult WriteFailed = -11;
inline constexpr TResult WriteIncomplete = -12;
inline constexpr TResult ReadFailed = -13;
inline constexpr TResult NoReply = -14;
inline constexpr TResult BadLength = -15;
inline constexpr TResult BadStructure = -16;
inline constexpr TResult UnknownType = -17;
inline constexpr TResult BadCommand = -18;
inline constexpr TResult BadChecksum = -19;
inline constexpr TResult WrongAddress = -20;
inline constexpr TResult BadPayload = -21;
inline constexpr TResult DeviceReportsError = -22;
inline constexpr TResult NullPort = -99;
inline constexpr TResult WrongFirmware = -400;
// A typed exchange answered with "$n" gives TypedStatusBase - n.
inline constexpr TResult TypedStatusBase = -1000;
}  // namespace rc

}  // namespace zorvat
