// A request as the instrument saw it, taken apart for the tests' checks.
#pragma once

#include <string>
#include <vector>

namespace zorvat::testing {

// ":1;38;01DA66;0000CC41;NNNN": address, command, parameter number and the
// value a write carries.
struct Request {
    int address = 0;
    int command = 0;
    std::string number;
    std::string value;
};

inline Request Parse(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 1;  // after ":"
    for (std::size_t i = start; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ';') {
            fields.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    Request r;
    r.address = std::stoi(fields.at(0));
    r.command = std::stoi(fields.at(1));
    if (fields.size() > 3) r.number = fields[2];
    if (fields.size() > 4) r.value = fields[3];
    return r;
}

}  // namespace zorvat::testing
