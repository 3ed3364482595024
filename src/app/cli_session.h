// One instrument of the command line, found as the window's search finds
// it, with the model, its console surfaces and the workers' handlers.
#pragma once

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "console_surfaces.h"
#include "model.h"
#include "operations.h"
#include "port_map.h"
#include "result_messages.h"
#include "search.h"
#include "th_search.h"
#include "trend_recorder.h"

namespace zorvat::cli {

// One port index of the search's list COM1..COM10.
inline std::optional<int> SearchIndex(const std::string& port) {
    const auto n = PortNumber(port);
    if (!n || *n > 10) return std::nullopt;
    return *n;
}

// "address 3", "addresses 1-3, 5" of addresses in rising order.
inline std::string Addresses(const std::vector<int>& addresses) {
    std::string text = addresses.size() == 1 ? "address " : "addresses ";
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1)
            ++j;
        if (i > 0) text += ", ";
        text += std::to_string(addresses[i]);
        if (j > i) text += "-" + std::to_string(addresses[j]);
        i = j + 1;
    }
    return text;
}

class Session {
  public:
    explicit Session(const Options& o)
        : o_(o), ui_(o.json), model_(ui_, MakeRecordingPortJobs(recorder_)), ops_(model_) {
        recorder_.SetReporter(
            [this](const std::string& message) { ui_.AddErrorLine(TimeText() + " " + message); });
        recorder_.SetFolder(o.recordDir);  // none: nothing is recorded
    }

    // The search of the window over the given ranges (it reads what it finds).
    bool Search(int firstPort, int lastPort, int firstAddress, int lastAddress) {
        SearchRange range;
        range.COMmin = firstPort;
        range.COMmax = lastPort;
        range.MinAddr = firstAddress;
        range.MaxAddr = lastAddress;
        range.Baudrate = o_.baud;
        range.fast = o_.fast;
        range.marginMs = o_.marginMs;
        if (!ops_.StartSearch(range)) return false;
        ops_.WaitIdle();
        return true;
    }

    // Finds the one instrument of --port/--addr; prints why not.
    TDevice* Find() {
        const auto index = SearchIndex(o_.port);
        if (!index) {
            Usage("the search knows COM1..COM10 only: " + o_.port);
            return nullptr;
        }
        Search(*index, *index, o_.address, o_.address);
        TDevice* device = model_.Device(0);
        if (device == nullptr || device->Name.empty()) {
            if (!PrintSearchMisses()) {
                std::cerr << "error: no ZORVAT-7X instrument answers at " << o_.port << " address "
                          << o_.address << " (" << o_.baud << " baud)\n";
            }
            return nullptr;
        }
        ui_.Select(RegulatorRef{0, static_cast<std::uint8_t>(o_.regulator)});
        return device;
    }

    TParams* Regulator(TDevice& device) {
        TParams* r = device.Regs[static_cast<std::size_t>(o_.regulator)].get();
        if (r == nullptr || !r->Present) {
            std::cerr << "error: " << device.Name << " has no regulator " << o_.regulator << "\n";
            return nullptr;
        }
        return r;
    }

    // "error CODE: MESSAGE (COM1, addresses 1-3, 5)" for each port and reason
    // the search met without finding an instrument; false when there was none.
    bool PrintSearchMisses() const {
        struct Reason {
            std::string port;
            TResult code;
            std::vector<int> addresses;
        };
        std::vector<Reason> reasons;
        for (const auto& miss : ui_.SearchMisses()) {
            auto it = std::find_if(reasons.begin(), reasons.end(), [&](const Reason& r) {
                return r.port == miss.port && r.code == miss.code;
            });
            if (it == reasons.end()) it = reasons.insert(reasons.end(), {miss.port, miss.code, {}});
            if (miss.address > 0) it->addresses.push_back(miss.address);
        }
        for (const Reason& r : reasons) {
            std::cerr << "error " << r.code << ": " << ResultText(r.code, r.port);
            if (!r.addresses.empty())
                std::cerr << " (" << r.port << ", " << Addresses(r.addresses) << ")";
            std::cerr << "\n";
        }
        return !reasons.empty();
    }

    bool ErrorLogHas(const std::string& text) const {
        for (const auto& line : ui_.ErrorLines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    const Options& o_;
    ConsoleSurfaces ui_;
    // Before the model: it outlives the polling jobs that queue rows in it.
    TTrendRecorder recorder_;
    TModel model_;
    TOperations ops_;
};

}  // namespace zorvat::cli
