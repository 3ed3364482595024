#include "sim/simulator.h"

#include <filesystem>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "IEEE754.h"
#include "port_map.h"
#include "sim/port.h"
#include "sim/pty.h"

namespace zorvat::sim {

std::optional<int> SimPortNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "COM") return std::nullopt;
    if (name[3] == '0') return std::nullopt;
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > 256) return std::nullopt;
    return number;
}

Simulator::Simulator() = default;

Simulator::~Simulator() {
    Stop();
    std::string ownDir;
    {
        std::lock_guard lock(mu_);
        ports_.clear();  // each port removes its link
        if (ownLinkDir_) ownDir = linkDir_;
    }
    if (!ownDir.empty()) ::rmdir(ownDir.c_str());
}

void Simulator::SetLinkDir(const std::string& dir) {
    std::lock_guard lock(mu_);
    if (!ports_.empty()) throw std::logic_error("the link folder must be set before any port");
    if (ownLinkDir_) ::rmdir(linkDir_.c_str());
    linkDir_ = dir;
    // The paths are handed to other programs (ZORVAT_COMn=...), which may run
    // in another folder.
    if (!linkDir_.empty() && linkDir_.front() != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "getcwd");
        }
        linkDir_ = std::string(cwd) + "/" + linkDir_;
    }
    while (linkDir_.size() > 1 && linkDir_.back() == '/')
        linkDir_.pop_back();
    ownLinkDir_ = false;
    // A folder that is not there yet is made (and left behind: it is the
    // caller's).
    if (!linkDir_.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(linkDir_, ec);
    }
}

std::string Simulator::UseTemporaryLinkDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorvat-sim-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    SetLinkDir(pattern);
    std::lock_guard lock(mu_);
    ownLinkDir_ = true;
    return linkDir_;
}

std::string Simulator::LinkDir() const {
    std::lock_guard lock(mu_);
    return linkDir_;
}

void Simulator::AddPort(const std::string& name) {
    if (!SimPortNumber(name)) throw std::invalid_argument("bad port name \"" + name + "\"");
    std::lock_guard lock(mu_);
    for (const auto& p : ports_) {
        if (p->Name() == name) throw std::invalid_argument("port " + name + " already exists");
    }
    auto port = std::make_unique<Port>(name, linkDir_, settings_);
    port->SetTurnaround(turnaround_);
    port->SetLogLimit(logLimit_);
    if (trace_) port->SetTrace(trace_);
    if (running_) port->Start();
    ports_.push_back(std::move(port));
}

std::vector<std::string> Simulator::PortNames() const {
    std::lock_guard lock(mu_);
    std::vector<std::string> names;
    for (const auto& p : ports_)
        names.push_back(p->Name());
    return names;
}

Port& Simulator::FindPort(const std::string& name) const {
    std::lock_guard lock(mu_);
    for (const auto& p : ports_) {
        if (p->Name() == name) return *p;
    }
    throw std::invalid_argument("no simulated port " + name);
}

std::vector<Port*> Simulator::AllPorts() const {
    std::lock_guard lock(mu_);
    std::vector<Port*> out;
    for (const auto& p : ports_)
        out.push_back(p.get());
    return out;
}

template <class F>
decltype(auto) Simulator::With(const std::string& port, int address, F&& f) const {
    return FindPort(port).WithInstrument(address, std::forward<F>(f));
}

void Simulator::AddInstrument(const std::string& port, int address, std::uint8_t modelCode) {
    const ModelInfo* model = FindModel(modelCode);
    if (!model) throw std::invalid_argument("unknown model code " + std::to_string(modelCode));
    unsigned baud = 0;
    {
        std::lock_guard lock(mu_);
        baud = defaultBaud_;
    }
    FindPort(port).AddInstrument(address, *model, baud);
}

std::vector<int> Simulator::Addresses(const std::string& port) const {
    return FindPort(port).Addresses();
}

void Simulator::SetDefaultBaud(unsigned baud) {
    if (!IsKnownBaud(baud)) throw std::invalid_argument("unsupported baud rate");
    std::lock_guard lock(mu_);
    defaultBaud_ = baud;
}

void Simulator::SetBaud(const std::string& port, int address, unsigned baud) {
    if (!IsKnownBaud(baud)) throw std::invalid_argument("unsupported baud rate");
    With(port, address, [baud](Instrument& i) { i.SetBaud(baud); });
}

void Simulator::SetPortBaud(const std::string& port, unsigned baud) {
    if (!IsKnownBaud(baud)) throw std::invalid_argument("unsupported baud rate");
    FindPort(port).ForEachInstrument([baud](Instrument& i) { i.SetBaud(baud); });
}

void Simulator::SetTurnaround(std::chrono::microseconds turnaround) {
    {
        std::lock_guard lock(mu_);
        turnaround_ = turnaround;
    }
    for (Port* p : AllPorts())
        p->SetTurnaround(turnaround);
}

void Simulator::SetTurnaround(const std::string& port, std::chrono::microseconds turnaround) {
    FindPort(port).SetTurnaround(turnaround);
}

void Simulator::SetSpeed(double speed) {
    if (!(speed >= 0.0)) throw std::invalid_argument("speed must be 0 or more");
    ProcessSettings settings;
    {
        std::lock_guard lock(mu_);
        settings_.speed = speed;
        settings = settings_;
    }
    for (Port* p : AllPorts())
        p->SetProcessSettings(settings);
}

void Simulator::SetAutotuneDuration(std::chrono::duration<double> simulated) {
    if (!(simulated.count() >= 0.0)) throw std::invalid_argument("duration must be 0 or more");
    ProcessSettings settings;
    {
        std::lock_guard lock(mu_);
        settings_.autotuneSeconds = simulated.count();
        settings = settings_;
    }
    for (Port* p : AllPorts())
        p->SetProcessSettings(settings);
}

void Simulator::SetTrace(TraceFn trace) {
    {
        std::lock_guard lock(mu_);
        trace_ = trace;
    }
    for (Port* p : AllPorts())
        p->SetTrace(trace);
}

void Simulator::SetLogLimit(std::size_t limit) {
    {
        std::lock_guard lock(mu_);
        logLimit_ = limit;
    }
    for (Port* p : AllPorts())
        p->SetLogLimit(limit);
}

// The ports are started and stopped outside the lock: a trace callback that
// calls back into the simulator must not deadlock against a joining Stop.
void Simulator::Start() {
    {
        std::lock_guard lock(mu_);
        running_ = true;
    }
    for (Port* p : AllPorts())
        p->Start();
}

void Simulator::Stop() {
    {
        std::lock_guard lock(mu_);
        running_ = false;
    }
    for (Port* p : AllPorts())
        p->Stop();
}

bool Simulator::Running() const {
    std::lock_guard lock(mu_);
    return running_;
}

std::string Simulator::DevicePath(const std::string& port) const {
    return FindPort(port).DevicePath();
}

std::string Simulator::PtyPath(const std::string& port) const {
    return FindPort(port).PtyPath();
}

void Simulator::RegisterPortMap() const {
    for (Port* p : AllPorts())
        SetPortOverride(p->Name(), p->DevicePath());
}

void Simulator::UnregisterPortMap() const {
    for (Port* p : AllPorts())
        SetPortOverride(p->Name(), std::string());
}

void Simulator::Unplug(const std::string& port) {
    FindPort(port).Unplug();
}

void Simulator::Replug(const std::string& port) {
    FindPort(port).Replug();
}

bool Simulator::Plugged(const std::string& port) const {
    return FindPort(port).Plugged();
}

std::vector<RequestRecord> Simulator::Requests(const std::string& port) const {
    return FindPort(port).Requests();
}

std::vector<std::string> Simulator::RequestTexts(const std::string& port) const {
    std::vector<std::string> texts;
    for (const auto& r : FindPort(port).Requests())
        texts.push_back(r.text);
    return texts;
}

void Simulator::ClearRequests(const std::string& port) {
    FindPort(port).ClearRequests();
}

void Simulator::ClearRequests() {
    for (Port* p : AllPorts())
        p->ClearRequests();
}

bool Simulator::WaitForRequests(const std::string& port, std::size_t count,
                                std::chrono::milliseconds timeout) const {
    return FindPort(port).WaitForRequests(count, timeout);
}

std::optional<std::string> Simulator::Param(const std::string& port, int address,
                                            const std::string& number) const {
    return With(port, address, [&](Instrument& i) { return i.Param(number); });
}

std::optional<ParamForm> Simulator::Form(const std::string& port, int address,
                                         const std::string& number) const {
    return With(port, address, [&](Instrument& i) { return i.Form(number); });
}

Instrument::SetResult Simulator::SetParam(const std::string& port, int address,
                                          const std::string& number, const std::string& value,
                                          bool force) {
    return With(port, address, [&](Instrument& i) { return i.SetParam(number, value, force); });
}

void Simulator::SetReal(const std::string& port, int address, const std::string& number,
                        double value) {
    const auto text = FloatToWireText(value);
    if (!text) throw std::invalid_argument("value too large for the wire form");
    With(port, address, [&](Instrument& i) {
        if (i.Form(number) != ParamForm::Real) {
            throw std::invalid_argument(number + " is not a real parameter");
        }
        i.SetParam(number, *text, true);
    });
}

double Simulator::Real(const std::string& port, int address, const std::string& number) const {
    const auto text = Param(port, address, number);
    double value = 0.0;
    if (!text || !WireTextToFloat(*text, value)) {
        throw std::invalid_argument(number + " is not a real parameter");
    }
    return value;
}

bool Simulator::RegulatorOn(const std::string& port, int address, int regulator) const {
    return With(port, address, [&](Instrument& i) { return i.RegulatorOn(regulator); });
}

void Simulator::SetRegulatorOn(const std::string& port, int address, int regulator, bool on) {
    With(port, address, [&](Instrument& i) { i.SetRegulatorOn(regulator, on); });
}

bool Simulator::AutoTune(const std::string& port, int address, int regulator) const {
    return With(port, address, [&](Instrument& i) { return i.AutoTune(regulator); });
}

void Simulator::SetAutoTune(const std::string& port, int address, int regulator, bool on) {
    With(port, address, [&](Instrument& i) { i.SetAutoTune(regulator, on); });
}

double Simulator::Output(const std::string& port, int address, int regulator) const {
    return With(port, address, [&](Instrument& i) { return i.Output(regulator); });
}

double Simulator::Measured(const std::string& port, int address, int channel) const {
    return With(port, address, [&](Instrument& i) { return i.Measured(channel); });
}

void Simulator::SetMeasured(const std::string& port, int address, int channel, double value) {
    With(port, address, [&](Instrument& i) { i.SetMeasured(channel, value); });
}

void Simulator::SetChannelStatus(const std::string& port, int address, int channel,
                                 std::uint8_t status) {
    With(port, address, [&](Instrument& i) { i.SetChannelStatus(channel, status); });
}

std::uint8_t Simulator::Inputs(const std::string& port, int address) const {
    return With(port, address, [](Instrument& i) { return i.Inputs(); });
}

void Simulator::SetInputs(const std::string& port, int address, std::uint8_t mask) {
    With(port, address, [mask](Instrument& i) { i.SetInputs(mask); });
}

std::uint8_t Simulator::Relays(const std::string& port, int address) const {
    return With(port, address, [](Instrument& i) { return i.Relays(); });
}

std::string Simulator::StatusBlock(const std::string& port, int address) const {
    return With(port, address, [](Instrument& i) { return i.StatusBlock(); });
}

void Simulator::SetIdentCode(const std::string& port, int address, const std::string& code) {
    With(port, address, [&](Instrument& i) { i.SetIdentCode(code); });
}

void Simulator::SetVersion(const std::string& port, int address, int version) {
    With(port, address, [version](Instrument& i) { i.SetVersion(version); });
}

void Simulator::Showcase(const std::string& port, int address) {
    With(port, address, [address](Instrument& i) {
        const char* delays[] = {"02", "04", "01", "08"};  // 2из2, 3из4, Откл., 5из8
        for (int n = 0; n < 4; ++n)
            i.SetParam("00211" + std::to_string(n), delays[n], true);
        // Passwords differ from one instrument to the next, as a careful
        // commissioning engineer leaves them.
        for (int n = 1; n <= 3; ++n) {
            char text[5];
            std::snprintf(text, sizeof text, "%04X", (address * 0x111 + n * 0x1010) & 0xFFFF);
            i.SetParam("00500" + std::to_string(n), text, true);
        }
        // The calculated channel of a three-channel model: the mean of
        // channels 1 and 2.
        if (i.Form("033531")) i.SetParam("033531", "02", true);
    });
}

void Simulator::AddFault(const std::string& port, int address, const Fault& fault) {
    With(port, address, [&](Instrument& i) { i.AddFault(fault); });
}

void Simulator::AddFault(const std::string& port, const Fault& fault) {
    FindPort(port).ForEachInstrument([&](Instrument& i) { i.AddFault(fault); });
}

void Simulator::ClearFaults(const std::string& port, int address) {
    With(port, address, [](Instrument& i) { i.ClearFaults(); });
}

void Simulator::ClearFaults() {
    for (Port* p : AllPorts())
        p->ForEachInstrument([](Instrument& i) { i.ClearFaults(); });
}

void Simulator::SetFaults(const std::string& port, int address, std::vector<Fault> faults) {
    With(port, address, [&](Instrument& i) { i.SetFaults(std::move(faults)); });
}

std::vector<Fault> Simulator::Faults(const std::string& port, int address) const {
    return With(port, address, [](Instrument& i) { return i.Faults(); });
}

}  // namespace zorvat::sim
