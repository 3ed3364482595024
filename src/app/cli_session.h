// One instrument of the command line, found as the window's search finds
// it, with the model, its console surfaces and the workers' handlers.
#pragma once

#include <iostream>
#include <optional>
#include <string>

#include "cli_options.h"
#include "console_surfaces.h"
#include "model.h"
#include "operations.h"
#include "port_map.h"
#include "search.h"

namespace zorvat::cli {

// One port index of the search's list COM1..COM10.
inline std::optional<int> SearchIndex(const std::string& port) {
    const auto n = PortNumber(port);
    if (!n || *n > 10) return std::nullopt;
    return *n;
}

class Session {
  public:
    explicit Session(const Options& o) : o_(o), ui_(o.json), model_(ui_), ops_(model_) {}

    // The search of the window over the given ranges (it reads what it finds).
    bool Search(int firstPort, int lastPort, int firstAddress, int lastAddress) {
        SearchRange range;
        range.COMmin = firstPort;
        range.COMmax = lastPort;
        range.MinAddr = firstAddress;
        range.MaxAddr = lastAddress;
        range.Baudrate = o_.baud;
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
            std::cerr << "error: no ZORVAT-7X instrument answers at " << o_.port << " address "
                      << o_.address << " (" << o_.baud << " baud)\n";
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

    bool ErrorLogHas(const std::string& text) const {
        for (const auto& line : ui_.ErrorLines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    const Options& o_;
    ConsoleSurfaces ui_;
    TModel model_;
    TOperations ops_;
};

}  // namespace zorvat::cli
