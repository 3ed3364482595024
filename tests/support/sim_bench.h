// What tests against simulated instruments share, without a test framework:
// the simulator bench and instruments put into a model as a search would
// have found them.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Devices.h"
#include "model.h"
#include "sim/simulator.h"

namespace zorvat::testing {

// The simulator on pseudo-terminals: 19200 baud, replies after 1 ms, the
// simulated process standing still. It stops, and its ports are mapped no
// more, when the bench goes; whatever exchanges with it must have let go of
// its ports by then.
class SimBench {
  public:
    static constexpr unsigned kBaud = 19200;

    SimBench() {
        sim.UseTemporaryLinkDir();
        sim.SetDefaultBaud(kBaud);
        sim.SetTurnaround(std::chrono::milliseconds(1));
        sim.SetSpeed(0);
    }
    ~SimBench() { Stop(); }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // An instrument of model `code`, and its port when that is new; before
    // Start.
    void Add(const std::string& port, int address, std::uint8_t code) {
        bool known = false;
        for (const auto& p : sim.PortNames())
            known = known || p == port;
        if (!known) sim.AddPort(port);
        sim.AddInstrument(port, address, code);
    }
    // The model's exchanges open the simulated ports from now on.
    void Start() {
        sim.RegisterPortMap();
        sim.Start();
    }
    void Stop() {
        sim.Stop();
        sim.UnregisterPortMap();
    }

    sim::Simulator sim;
};

// Puts an instrument of model `code` into `model` as a search would have
// found it at `port`, `address` and `baud`, with its regulators and
// channels; returns its number.
inline std::uint8_t AddDevice(TModel& model, const std::string& port, int address,
                              std::uint8_t code, unsigned baud = SimBench::kBaud) {
    const auto d = static_cast<std::uint8_t>(model.DeviceList.Count());
    auto device = std::make_unique<TDevice>();
    const ModelInfo* info = FindModel(code);
    device->Name = info ? info->name : "";
    device->Present = true;
    device->ParentPort = port;
    device->Address = std::to_string(address);
    device->Baudrate = static_cast<std::int32_t>(baud);
    device->ModelCode = code;
    device->Regs[1] = std::make_unique<TParams>(d, 1);
    device->Regs[2] = std::make_unique<TParams>(d, 2);
    if (info && info->regulators == 1) device->Regs[2]->Present = false;
    for (int c = 1; c <= (info ? info->channels : 1); ++c) {
        device->Chnls[static_cast<std::size_t>(c)] =
            std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
    }
    if (model.DeviceList.Append(std::move(device)) != d) {
        std::fprintf(stderr, "the model took no more instruments\n");
        std::abort();
    }
    return d;
}

}  // namespace zorvat::testing
