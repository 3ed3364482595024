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
#include "sim_bench.h"
#include "th_search.h"

namespace zorvat::testing {

class CoreFixture : public ::testing::Test {
  protected:
    static constexpr unsigned kBaud = SimBench::kBaud;

    void TearDown() override {
        model_.reset();
        bench_.Stop();
    }

    // Adds a simulated instrument; call before StartSim.
    void AddInstrument(const std::string& port, int address, std::uint8_t code) {
        bench_.Add(port, address, code);
    }
    void StartSim() { bench_.Start(); }

    // Puts an instrument into the model as a search would have found it.
    std::uint8_t AddDevice(const std::string& port, int address, std::uint8_t code) {
        return testing::AddDevice(*model_, port, address, code);
    }

    TParams& Reg(std::uint8_t d, int r) { return *model_->Regulator(d, r); }

    SimBench bench_;
    sim::Simulator& sim_ = bench_.sim;
    RecordingSurfaces ui_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(ui_, MakePortJobs);
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
