#include "error_line.h"

#include "result_messages.h"
#include "surfaces.h"

namespace zorvat {

std::string Format(const ErrorLine& line) {
    const std::string code = line.head + "(" + std::to_string(line.code) + ")";
    const std::string message =
        line.message.empty() ? ResultText(line.code, line.port) : line.message;
    std::string text = line.time ? TimeText() + " " : " ";
    switch (line.layout) {
        case ErrorLayout::Exchange:
            text += code + " Порт " + line.port + line.place + " " + message + line.tail;
            break;
        case ErrorLayout::RegulatorWrite:
            text += code + "  Порт: " + line.port + "  Адрес прибора: " + line.address + "   " +
                    message + "  " + line.tail;
            break;
        case ErrorLayout::Switch:
            text += code + "   Порт: " + line.port + "   Адрес прибора: " + line.address + "   " +
                    line.tail;
            break;
        case ErrorLayout::Visit:
            text += code + "   " + line.port;
            if (!line.address.empty()) text += "   Адрес: " + line.address;
            text += "   " + message + line.tail;
            break;
        case ErrorLayout::JobEnd:
            text += code + "  " + line.port + "  " + message;
            break;
        case ErrorLayout::Search:
            text = code + " " + line.port + " " + message;
            break;
    }
    return text;
}

}  // namespace zorvat
