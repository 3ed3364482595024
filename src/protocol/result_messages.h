// The operator's text for every result code.
#pragma once

#include <string>
#include <string_view>

#include "result_codes.h"

namespace zorvat {

// Sets `message` to the text of `code`, with `portName` inserted where the
// text names the port, and returns true. For code 0 there is nothing to report:
// returns false and leaves `message` as it was. Texts are UTF-8.
bool ResultMessage(TResult code, std::string_view portName, std::string& message);

// Convenience form: the text, or empty for code 0.
std::string ResultText(TResult code, std::string_view portName);

}  // namespace zorvat
