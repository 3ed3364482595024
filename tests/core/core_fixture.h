// A model on simulated instruments: the fixture the core tests share.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "Devices.h"
#include "model.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"

namespace zorvat::testing {

class CoreFixture : public ::testing::Test {
  protected:
    static constexpr unsigned kBaud = 19200;

    void SetUp() override {
        sim_.UseTemporaryLinkDir();
        sim_.SetDefaultBaud(kBaud);
        sim_.SetTurnaround(std::chrono::milliseconds(1));
        sim_.SetSpeed(0);
    }
    void TearDown() override {
        model_.reset();
        sim_.Stop();
        sim_.UnregisterPortMap();
    }

    // Adds a simulated instrument; call before StartSim.
    void AddInstrument(const std::string& port, int address, std::uint8_t code) {
        bool known = false;
        for (const auto& p : sim_.PortNames())
            known = known || p == port;
        if (!known) sim_.AddPort(port);
        sim_.AddInstrument(port, address, code);
    }
    void StartSim() {
        sim_.RegisterPortMap();
        sim_.Start();
    }

    // Puts an instrument into the model as a search would have found it.
    std::uint8_t AddDevice(const std::string& port, int address, std::uint8_t code) {
        const auto d = static_cast<std::uint8_t>(model_->DeviceList.Count());
        auto device = std::make_unique<TDevice>();
        const ModelInfo* info = FindModel(code);
        device->Name = info ? info->name : "";
        device->Present = true;
        device->ParentPort = port;
        device->Address = std::to_string(address);
        device->Baudrate = static_cast<std::int32_t>(kBaud);
        device->ModelCode = code;
        device->Regs[1] = std::make_unique<TParams>(d, 1);
        device->Regs[2] = std::make_unique<TParams>(d, 2);
        if (info && info->regulators == 1) device->Regs[2]->Present = false;
        for (int c = 1; c <= (info ? info->channels : 1); ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
        }
        EXPECT_EQ(model_->DeviceList.Append(std::move(device)), d);
        return d;
    }

    TParams& Reg(std::uint8_t d, int r) { return *model_->Regulator(d, r); }

    sim::Simulator sim_;
    RecordingSurfaces ui_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(ui_);
};

// Waits up to `timeout` for `condition`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace zorvat::testing
