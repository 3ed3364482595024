// Simulated instruments on pseudo-terminals, for tests, benches and demos.
//
// Each port is a pseudo-terminal with its own thread; the host opens the
// device path like any serial port and talks through the real termios layer.
// The instruments answer only what a real one would: requests to their
// address with a valid checksum, at their own baud rate, paced like a real
// line (request wire time, turnaround, one byte per 10/baud seconds).
//
//   zorvat::sim::Simulator sim;
//   sim.AddPort("COM1");
//   sim.AddInstrument("COM1", 1, 0xC3);
//   sim.RegisterPortMap();   // "COM1" now opens the simulated port
//   sim.Start();
//
// Every method may be called from any thread. Unknown ports and addresses
// throw std::invalid_argument; bad regulator or channel numbers
// std::out_of_range.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/models.h"
#include "sim/request_record.h"

namespace zorvat::sim {

class Port;

class Simulator {
  public:
    Simulator();
    // Stops every port and removes the links it made (and the link folder it
    // created itself).
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // --- Set-up ---------------------------------------------------------

    // Folder for the links COMn -> /dev/pts/N (made absolute); set before the
    // first port.
    // A link keeps a port's path stable across unplug and replug.
    void SetLinkDir(const std::string& dir);
    // A fresh folder under $TMPDIR (or /tmp), removed again by the destructor.
    std::string UseTemporaryLinkDir();
    std::string LinkDir() const;

    // "COM1".."COM256". Creates the pseudo-terminal at once; a port added
    // while running starts right away.
    void AddPort(const std::string& name);
    std::vector<std::string> PortNames() const;
    void AddInstrument(const std::string& port, int address, std::uint8_t modelCode);
    std::vector<int> Addresses(const std::string& port) const;

    // The default line speed of instruments added later (9600).
    void SetDefaultBaud(unsigned baud);
    // One instrument's line speed; it stays silent while the host's differs.
    void SetBaud(const std::string& port, int address, unsigned baud);
    // Every instrument of the port.
    void SetPortBaud(const std::string& port, unsigned baud);

    // Time from the end of a request to the start of the reply (10 ms).
    void SetTurnaround(std::chrono::microseconds turnaround);  // all ports
    void SetTurnaround(const std::string& port, std::chrono::microseconds turnaround);

    // Process time scale (1.0; 0 freezes the process, handy for exact
    // values) and the simulated duration of an autotuning run (120 s).
    void SetSpeed(double speed);
    void SetAutotuneDuration(std::chrono::duration<double> simulated);

    // Called on a port's thread after each request (set before Start).
    void SetTrace(TraceFn trace);
    // Records kept per port (20000); the oldest go first.
    void SetLogLimit(std::size_t limit);

    // --- Running ----------------------------------------------------------

    void Start();
    // Prompt: a reply under way is cut short. Every thread is joined.
    void Stop();
    bool Running() const;

    // The path a host opens: DIR/COMn with a link folder, else /dev/pts/N.
    std::string DevicePath(const std::string& port) const;
    std::string PtyPath(const std::string& port) const;
    // zorvat::SetPortOverride(name, DevicePath) for every port, so that
    // TExCOM::OpenPort("COM1") opens the simulated port. Without a link
    // folder call it again after a replug (the pts path changes).
    void RegisterPortMap() const;
    // Removes those overrides again.
    void UnregisterPortMap() const;

    // The port disappears as an unplugged adapter does: the host's reads
    // return end-of-file or EIO, writes fail, the device node (and link) is
    // gone. Returns once done.
    void Unplug(const std::string& port);
    // A new pseudo-terminal; the link is re-pointed to it.
    void Replug(const std::string& port);
    bool Plugged(const std::string& port) const;

    // --- What the ports saw ---------------------------------------------

    std::vector<RequestRecord> Requests(const std::string& port) const;
    // Just the texts (":1;37;002007;6295"), oldest first.
    std::vector<std::string> RequestTexts(const std::string& port) const;
    void ClearRequests(const std::string& port);
    void ClearRequests();
    bool WaitForRequests(const std::string& port, std::size_t count,
                         std::chrono::milliseconds timeout) const;

    // --- One instrument -------------------------------------------------

    // The text a read over the line would return; nullopt for an unknown number.
    std::optional<std::string> Param(const std::string& port, int address,
                                     const std::string& number) const;
    std::optional<ParamForm> Form(const std::string& port, int address,
                                  const std::string& number) const;
    // Like a write over the line (0rDA65 and 0rDAC7 switch); with `force`
    // read-only values such as the model code change too.
    Instrument::SetResult SetParam(const std::string& port, int address, const std::string& number,
                                   const std::string& value, bool force = false);
    // Convenience forms that encode the value.
    void SetReal(const std::string& port, int address, const std::string& number, double value);
    double Real(const std::string& port, int address, const std::string& number) const;

    bool RegulatorOn(const std::string& port, int address, int regulator) const;
    void SetRegulatorOn(const std::string& port, int address, int regulator, bool on);
    bool AutoTune(const std::string& port, int address, int regulator) const;
    void SetAutoTune(const std::string& port, int address, int regulator, bool on);
    double Output(const std::string& port, int address, int regulator) const;
    double Measured(const std::string& port, int address, int channel) const;
    void SetMeasured(const std::string& port, int address, int channel, double value);
    void SetChannelStatus(const std::string& port, int address, int channel, std::uint8_t status);
    std::uint8_t Inputs(const std::string& port, int address) const;
    void SetInputs(const std::string& port, int address, std::uint8_t mask);
    std::uint8_t Relays(const std::string& port, int address) const;
    std::string StatusBlock(const std::string& port, int address) const;
    void SetIdentCode(const std::string& port, int address, const std::string& code);
    void SetVersion(const std::string& port, int address, int version);
    // Settings an instrument has after commissioning rather than fresh from
    // the factory: relay delays, distinct passwords, a function on the
    // calculated channel. The demonstration bench uses it.
    void Showcase(const std::string& port, int address);

    // --- Faults -----------------------------------------------------------

    void AddFault(const std::string& port, int address, const Fault& fault);
    // Every instrument of the port.
    void AddFault(const std::string& port, const Fault& fault);
    void ClearFaults(const std::string& port, int address);
    void ClearFaults();
    // Replaces the instrument's faults in one step: no request falls between
    // the old ones going and the new ones coming.
    void SetFaults(const std::string& port, int address, std::vector<Fault> faults);
    // What is left of them (counts go down as they strike).
    std::vector<Fault> Faults(const std::string& port, int address) const;

  private:
    Port& FindPort(const std::string& name) const;
    std::vector<Port*> AllPorts() const;
    template <class F>
    decltype(auto) With(const std::string& port, int address, F&& f) const;

    mutable std::mutex mu_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::string linkDir_;
    bool ownLinkDir_ = false;
    unsigned defaultBaud_ = 9600;
    std::chrono::microseconds turnaround_{10000};
    ProcessSettings settings_;
    TraceFn trace_;
    std::size_t logLimit_ = 20000;
    bool running_ = false;
};

// Parses "COM1".."COM256"; nullopt otherwise.
std::optional<int> SimPortNumber(std::string_view name);

}  // namespace zorvat::sim
