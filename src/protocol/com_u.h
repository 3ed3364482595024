// Parameter transactions: one request, one reply, no retries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ex_com.h"
#include "result_codes.h"

namespace zorvat {

// A new port object with the defaults (COM1, 9600, 1000 ms), closed.
std::unique_ptr<TExCOM> CreatePort();
// -99 when `port` is empty; otherwise frees it and empties the reference.
// Callers close the port first.
TResult FreePort(std::unique_ptr<TExCOM>& port);

// Command 37: reads one parameter. On success `value` is the reply's data.
// A positive result n is the instrument's error "$n".
TResult ReadParam(TExCOM& port, std::string_view address, std::string_view parameter,
                  std::string& value);

// Command 38, after reading the parameter back: writes only when the
// instrument's text differs (case-sensitive) from `value`. After a write
// `value` holds the reply's data; when nothing was written it is unchanged.
TResult WriteParam(TExCOM& port, std::string_view address, std::string_view parameter,
                   std::string& value);

// Sends ":" address + `command` (which brings its own ";", e.g. ";198;") and
// replaces `command` with the reply's data, cut to `maxLength`. "$0" leaves it
// unchanged; any other "$..." gives -22.
TResult SendCommand(TExCOM* port, std::uint8_t address, std::string& command,
                    std::size_t maxLength);

// Drops the trailing zeros after the decimal separator: 12.500 -> 12.5, 12.000 -> 12.
std::string TrimZeros(std::string_view text);

}  // namespace zorvat
