#include "ascii_u.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "hex_text.h"

namespace zorvat {

namespace {

// Copies `text` into a caller's zero-terminated buffer, cut to fit.
void CopyToBuffer(std::string_view text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

std::uint16_t Crc16Modbus(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                             : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

TResult FrameChecksum(std::string_view text, std::string& checksum) {
    checksum.clear();
    // Texts of 2 to 249 characters only (shorter ones wrap around, as unsigned).
    if (text.size() - 2 >= kMaxChecksumInput - 1) return rc::BadLength;
    std::size_t start = text.find(':');
    if (start == std::string_view::npos) start = text.find('!');
    if (start == std::string_view::npos) return rc::BadStructure;
    const std::string_view body = text.substr(start + 1);
    if (body.empty()) return rc::BadStructure;
    checksum = std::to_string(Crc16Modbus(body));
    return rc::Ok;
}

TResult FrameChecksum(const char* text, char* buffer, std::size_t size) {
    if (text == nullptr) return rc::BadStructure;
    std::string checksum;
    const TResult result = FrameChecksum(std::string_view(text), checksum);
    if (result == rc::Ok) CopyToBuffer(checksum, buffer, size);
    return result;
}

TResult BuildRequest(std::uint8_t address, std::uint8_t command, std::uint8_t requestMode,
                     std::string_view data, std::string& frame) {
    frame.clear();
    std::string text;
    text += kTypedPrefix;
    text += ':';
    text += std::to_string(address);
    text += ';';
    text += std::to_string(command);
    text += ';';
    switch (requestMode) {
        case 0:
            break;
        case 1:
            if (data.empty()) return rc::BadArgument;
            text.append(data);
            text += ';';
            break;
        case 2:
            text.append(data);
            text += ';';
            break;
        default:
            return rc::BadArgument;
    }
    std::string checksum;
    const TResult result = FrameChecksum(text, checksum);
    if (result != rc::Ok) return result;
    frame = text + checksum + kCR;
    return rc::Ok;
}

TResult SplitReply(std::string_view text, SplitFrame& out) {
    out = SplitFrame{};
    std::size_t start = text.find(':');
    if (start == std::string_view::npos) start = text.find('!');
    if (start == std::string_view::npos) return rc::BadStructure;
    std::string_view rest = text.substr(start + 1);
    const std::size_t cr = rest.find(kCR);
    if (cr == std::string_view::npos) return rc::BadStructure;
    rest = rest.substr(0, cr);
    if (rest.size() < 2) return rc::BadLength;

    out.marker = text[start];
    out.rebuilt.assign(1, out.marker);
    for (std::size_t semi = rest.find(';'); semi != std::string_view::npos; semi = rest.find(';')) {
        if (out.fields.size() + 1 >= kMaxReplyFields) return rc::BadLength;
        out.fields.emplace_back(rest.substr(0, semi));
        out.rebuilt.append(rest.substr(0, semi + 1));
        rest.remove_prefix(semi + 1);
    }
    out.fields.emplace_back(rest);
    return rc::Ok;
}

TResult ParseReply(std::string_view reply, std::uint8_t& address, std::string& data) {
    address = 0;
    data.clear();
    SplitFrame frame;
    TResult result = SplitReply(reply, frame);
    if (result != rc::Ok) return result;
    std::string checksum;
    result = FrameChecksum(frame.rebuilt, checksum);
    if (result != rc::Ok) return result;

    // Compared as numbers ("06295" equals "6295"); a field that is no number
    // cannot match.
    const std::string& received = frame.fields.back();
    const std::size_t digits = received.find_first_not_of('0');
    const std::string_view significant = digits == std::string::npos
                                             ? std::string_view("0")
                                             : std::string_view(received).substr(digits);
    const auto receivedValue = ParseDecimal(significant);
    if (received.empty() || !receivedValue || std::to_string(*receivedValue) != checksum) {
        return rc::BadChecksum;
    }

    const auto replyAddress = ParseDecimal(frame.fields.front());
    if (!replyAddress) return rc::BadStructure;
    address = static_cast<std::uint8_t>(*replyAddress & 0xFF);

    const std::size_t n = frame.fields.size();
    if (n <= 3) {
        data = frame.fields[1];
    } else {
        for (std::size_t i = 1; i + 1 < n; ++i) {
            data += frame.fields[i];
            data += ';';
        }
    }
    return rc::Ok;
}

TResult ParseReply(const char* reply, std::uint8_t& address, char* buffer, std::size_t size) {
    address = 0;
    if (reply == nullptr) return rc::BadStructure;
    std::string data;
    const TResult result = ParseReply(std::string_view(reply), address, data);
    CopyToBuffer(data, buffer, size);
    return result;
}

TResult DeviceErrorCode(std::string_view data) {
    const std::size_t dollar = data.find('$');
    if (dollar == std::string_view::npos) return rc::BadPayload;
    const auto n = ParseDecimal(data.substr(dollar + 1));
    if (!n) return rc::BadPayload;
    return rc::TypedStatusBase - static_cast<TResult>(*n);
}

TResult CheckReply(std::uint8_t replyMode, std::uint8_t sentAddress, std::uint8_t replyAddress,
                   std::string_view data) {
    if (replyMode > 2) return rc::BadArgument;
    if (replyMode != 2 && replyAddress != sentAddress) return rc::WrongAddress;
    if (data.empty()) return rc::BadPayload;
    const bool hasStatus = data.find('$') != std::string_view::npos;
    switch (replyMode) {
        case 0:
            if (!hasStatus) return rc::BadPayload;
            return data.find("$0") != std::string_view::npos ? rc::Ok : DeviceErrorCode(data);
        default:
            return hasStatus ? DeviceErrorCode(data) : rc::Ok;
    }
}

}  // namespace zorvat
