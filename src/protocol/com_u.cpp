#include "com_u.h"

#include <array>

#include "ascii_u.h"
#include "hex_text.h"

namespace zorvat {

std::unique_ptr<TExCOM> CreatePort() {
    return std::make_unique<TExCOM>();
}

TResult FreePort(std::unique_ptr<TExCOM>& port) {
    if (!port) return rc::NullPort;
    port.reset();
    return rc::Ok;
}

namespace {

// Frames ":" + text + checksum + CR.
TResult Frame(const std::string& text, std::string& frame) {
    std::string checksum;
    const TResult result = FrameChecksum(text, checksum);
    if (result != rc::Ok) return result;
    frame = text + checksum + kCR;
    return rc::Ok;
}

// Sends one request and parses the reply into `data`.
TResult Transact(TExCOM& port, const std::string& text, std::uint8_t& replyAddress,
                 std::string& data) {
    std::string frame;
    TResult result = Frame(text, frame);
    if (result != rc::Ok) return result;
    result = port.WriteFrame(frame);
    if (result != rc::Ok) return result;
    std::string reply;
    result = port.ReadReply(reply);
    if (result != rc::Ok) return result;
    return ParseReply(reply, replyAddress, data);
}

// The instrument's answer to a parameter request: its address must match,
// and "$n" (n not 0) is its error number n. The number is at most three
// digits; anything that is not a number is bad payload.
TResult JudgeParamReply(std::uint32_t address, std::uint8_t replyAddress, std::string_view value) {
    if (address != replyAddress) return rc::WrongAddress;
    if (value.size() >= 1 && value[0] == '$' && !(value.size() >= 2 && value[1] == '0')) {
        const auto number = ParseDecimal(value.substr(1, 3));
        if (!number) return rc::BadPayload;
        return static_cast<TResult>(*number);
    }
    return rc::Ok;
}

// Instrument addresses travel in decimal and are compared as numbers.
std::optional<std::uint32_t> AddressNumber(std::string_view address) {
    const auto number = ParseDecimal(address);
    if (!number || *number > 255) return std::nullopt;
    return number;
}

}  // namespace

TResult ReadParam(TExCOM& port, std::string_view address, std::string_view parameter,
                  std::string& value) {
    value.clear();
    const auto number = AddressNumber(address);
    if (!number) return rc::BadArgument;
    std::string text = ":";
    text.append(address).append(";37;").append(parameter).append(";");
    std::uint8_t replyAddress = 0;
    TResult result = Transact(port, text, replyAddress, value);
    if (result == rc::Ok) result = JudgeParamReply(*number, replyAddress, value);
    port.EndExchange(result);
    return result;
}

TResult WriteParam(TExCOM& port, std::string_view address, std::string_view parameter,
                   std::string& value) {
    std::string current;
    TResult result = ReadParam(port, address, parameter, current);
    if (result != rc::Ok) return result;
    if (current == value) return rc::Ok;

    const auto number = AddressNumber(address);
    std::string text = ":";
    text.append(address).append(";38;").append(parameter).append(";").append(value).append(";");
    std::uint8_t replyAddress = 0;
    std::string reply;
    result = Transact(port, text, replyAddress, reply);
    value = reply;
    if (result == rc::Ok) result = JudgeParamReply(*number, replyAddress, value);
    port.EndExchange(result);
    return result;
}

namespace {

TResult SendCommandExchange(TExCOM* port, std::uint8_t address, std::string& command,
                            std::size_t maxLength) {
    const std::string text = ":" + std::to_string(address) + command;
    // The request with checksum and CR must fit the port's 255-byte buffer.
    std::array<char, 256> frame{};
    std::array<char, 8> checksum{};
    TResult result = FrameChecksum(text.c_str(), checksum.data(), checksum.size());
    if (result != rc::Ok) return result;
    const std::string full = text + checksum.data() + kCR;
    if (full.size() > 254) return rc::BadLength;
    full.copy(frame.data(), full.size());
    result = WriteFrame(port, frame.data());
    if (result != rc::Ok) return result;

    std::array<char, 256> reply{};
    result = ReadReply(port, reply.data(), reply.size());
    if (result != rc::Ok) return result;
    std::array<char, 256> data{};
    std::uint8_t replyAddress = 0;
    result = ParseReply(reply.data(), replyAddress, data.data(), data.size());
    if (result != rc::Ok) return result;

    const std::string_view answer(data.data());
    if (!answer.empty() && answer[0] == '$') {
        if (answer == "$0") return replyAddress != address ? rc::WrongAddress : rc::Ok;
        return rc::DeviceReportsError;
    }
    if (replyAddress != address) return rc::WrongAddress;
    command.assign(answer.substr(0, maxLength));
    return rc::Ok;
}

}  // namespace

TResult SendCommand(TExCOM* port, std::uint8_t address, std::string& command,
                    std::size_t maxLength) {
    if (port == nullptr) return rc::NullPort;
    const TResult result = SendCommandExchange(port, address, command, maxLength);
    port->EndExchange(result);
    return result;
}

std::string TrimZeros(std::string_view text) {
    std::string result(text);
    if (result.empty() || result.find('.') == std::string::npos) return result;
    while (!result.empty() && result.back() == '0')
        result.pop_back();
    if (!result.empty() && result.back() == '.') result.pop_back();
    return result;
}

}  // namespace zorvat
