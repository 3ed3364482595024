// The lines of the error window that tell of a failure. Each kind of
// exchange has always written its own layout, and the operator's eye and
// the instruments' documentation know them; they are built here, in one
// place, from the same parts.
#pragma once

#include <string>

#include "result_codes.h"

namespace zorvat {

enum class ErrorLayout {
    // An exchange of the reads and the settings dialogs:
    //   12:04:31 Ошибка!(-14) Порт COM3 <message><tail>
    Exchange,
    // The regulator write:
    //   12:04:31 Ошибка!(17)  Порт: COM1  Адрес прибора: 1   <message>  <tail>
    RegulatorWrite,
    // The switch and the autotune, whose head says what failed:
    //   12:04:31 <head>(-14)   Порт: COM1   Адрес прибора: 1   <tail>
    Switch,
    // A polling job's visit, and its port lost (no address):
    //   12:04:31 Ошибка!(-14)   COM1   Адрес: 1   <message><tail>
    Visit,
    // A polling job that ends:
    //   12:04:31 Ошибка!(-4)  COM9  <message>
    JobEnd,
    // The search, before it has a port, and within its own lines (no time):
    //   Ошибка!(-2) <port> <message>
    Search,
};

struct ErrorLine {
    ErrorLayout layout = ErrorLayout::Exchange;
    TResult code = 0;
    std::string port;
    std::string place;    // after the port: " Канал 3"
    std::string address;  // the instrument's bus address, where the layout has one
    // The code's own message for the port unless given (Switch has none).
    std::string message;
    std::string tail;
    std::string head = "Ошибка!";
    bool time = true;  // begins with the current time
};

std::string Format(const ErrorLine& line);

}  // namespace zorvat
