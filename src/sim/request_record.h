// What a simulated port saw and did for one request frame.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/instrument.h"

namespace zorvat::sim {

struct RequestRecord {
    std::uint64_t sequence = 0;   // 1, 2, ... for every frame the port received
    std::string text;             // ":1;37;01DA66;NNNN": from ":" to the checksum, no CR
    bool typed = false;           // the frame came after the byte 0xFF
    unsigned lineBaud = 0;        // the line speed the host had set (0: none known)
    Clock::time_point firstByte;  // arrival of the frame's first byte (0xFF or ":")
    Clock::time_point lastByte;   // arrival of its CR

    bool answered = false;            // an instrument meant to reply
    std::string reply;                // every byte meant for the line (noise, no CR, ...)
    std::vector<std::string> faults;  // the faults that struck, as DescribeFault writes them
    bool vanished = false;            // the port disappeared instead of answering
    Clock::time_point replyStart;     // the first reply byte was written
    Clock::time_point replyEnd;       // the last one was; empty until the reply is complete
    bool replyComplete = false;       // false while sending, or when unplugged or stopped midway
    bool finished = false;            // the port is done with it (replied, silent, vanished)
};

// Called on the port's own thread once a request has been dealt with.
using TraceFn = std::function<void(const std::string& port, const RequestRecord& record)>;

}  // namespace zorvat::sim
