// One simulated instrument: its parameters, a small thermal process behind
// each regulator, and the answers it gives on the line. Nothing here does any
// I/O or locking; the port that owns the instrument serialises every call.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"
#include "sim/models.h"

namespace zorvat::sim {

// libstdc++'s steady_clock reads CLOCK_MONOTONIC, so its time points can be
// handed to clock_nanosleep as they are.
using Clock = std::chrono::steady_clock;

// How a parameter's value is written on the line.
enum class ParamForm {
    Byte,         // 2 hexadecimal digits
    Word,         // 4 hexadecimal digits, low byte first
    Real,         // 8 hexadecimal digits, the wire form of a single
    Flag,         // "0" or "1"
    RelayTable,   // 24 hexadecimal digits
    Password,     // 4 hexadecimal digits
    StatusBlock,  // the 42 characters of "0000FF"; never written
};

bool ValueFitsForm(ParamForm form, std::string_view value);

// A request that passed the instrument's checks: a ":" frame whose body
// ends with ";" and whose checksum field is the CRC of the body.
struct ParsedRequest {
    int address = 0;
    int command = -1;
    bool typed = false;               // came after the byte 0xFF
    std::vector<std::string> fields;  // after the command, without the checksum
};

// `text` runs from ":" to the checksum (no 0xFF, no CR). nullopt for
// anything an instrument ignores: wrong checksum, broken structure, an
// address or command that is not a number.
std::optional<ParsedRequest> ParseRequest(std::string_view text, bool typed);

// What the instrument does about one request.
struct ReplyPlan {
    bool answer = false;  // false: it stays silent
    std::string bytes;    // everything that goes on the line, noise included
    // Byte indexes that go out only after `pause` (a split reply).
    std::vector<std::size_t> pauseBefore;
    std::chrono::milliseconds pause{0};
    std::chrono::milliseconds delay{0};  // on top of the turnaround
    bool vanish = false;                 // the port disappears instead
    std::chrono::milliseconds vanishFor{0};
    std::vector<std::string> faults;  // the faults that struck, for the log
};

struct ProcessSettings {
    double speed = 1.0;              // simulated seconds per real second; 0 freezes
    double autotuneSeconds = 120.0;  // simulated time an autotuning run takes
};

class Instrument {
  public:
    static constexpr double kAmbient = 20.0;

    Instrument(int address, const ModelInfo& model, Clock::time_point now,
               const ProcessSettings& settings = {});

    int Address() const { return address_; }
    const ModelInfo& Model() const { return *model_; }

    unsigned Baud() const { return baud_; }
    void SetBaud(unsigned baud) { baud_ = baud; }
    const std::string& IdentCode() const { return ident_; }
    void SetIdentCode(std::string code) { ident_ = std::move(code); }
    int Version() const { return version_; }
    void SetVersion(int version) { version_ = version; }

    // The text a read of the parameter would return (the live values
    // 0rDA65, 0rDAC7 and 0000FF included), or nullopt for an unknown number.
    std::optional<std::string> Param(std::string_view number) const;
    std::optional<ParamForm> Form(std::string_view number) const;
    std::vector<std::string> ParamNumbers() const;

    enum class SetResult { Ok, Unknown, ReadOnly, BadForm };
    // Does what a write over the line does (0rDA65 and 0rDAC7 switch). With
    // `force`, read-only values (model code, counts, masks) can be changed
    // too; the form is still checked.
    SetResult SetParam(std::string_view number, std::string_view value, bool force = false);

    // Live state; r is 1 or 2, ch 1 to 3 (std::out_of_range otherwise).
    bool RegulatorOn(int r) const;
    void SetRegulatorOn(int r, bool on);
    bool AutoTune(int r) const;
    void SetAutoTune(int r, bool on);
    double Output(int r) const;  // 0..100 %
    double Measured(int ch) const;
    void SetMeasured(int ch, double value);
    std::uint8_t ChannelStatus(int ch) const;
    void SetChannelStatus(int ch, std::uint8_t status);
    std::uint8_t Inputs() const { return inputs_; }
    void SetInputs(std::uint8_t mask);
    std::uint8_t Relays() const;
    std::uint8_t RegulatorStatus() const;
    std::string StatusBlock() const;

    void AddFault(const Fault& fault) { faults_.push_back(fault); }
    void ClearFaults() { faults_.clear(); }
    void SetFaults(std::vector<Fault> faults) { faults_ = std::move(faults); }
    const std::vector<Fault>& Faults() const { return faults_; }

    // Runs the process up to `now`. Cheap when little time has passed.
    void Advance(Clock::time_point now);
    void SetProcessSettings(const ProcessSettings& settings, Clock::time_point now);

    // The answer to a request addressed to this instrument.
    ReplyPlan Answer(const ParsedRequest& request);

  private:
    struct Entry {
        ParamForm form;
        bool writable;
        std::string value;
    };
    struct Regulator {
        bool on = false;
        bool autotune = false;
        double autotuneLeft = 0.0;
        double integral = 0.0;
        double output = 0.0;
    };
    struct Channel {
        double value = kAmbient;
        std::uint8_t status = 0;
    };
    struct Loop;  // a regulator's settings, decoded once per Advance

    void BuildParameters();
    void Add(std::string number, ParamForm form, bool writable, std::string value);
    std::string Write(const std::vector<std::string>& fields);
    Loop ReadLoop(int r) const;
    void Step(double h, const std::array<Loop, 2>& loops);
    int InputChannel(int r) const;
    double RealParam(const std::string& number, double fallback) const;
    unsigned ByteParam(const std::string& number) const;
    bool FlagParam(const std::string& number) const;
    const Fault* Strike(FaultKind kind, const ParsedRequest& request, ReplyPlan& plan);
    Regulator& Reg(int r);
    const Regulator& Reg(int r) const;
    Channel& Chan(int ch);
    const Channel& Chan(int ch) const;

    int address_;
    const ModelInfo* model_;
    unsigned baud_ = 9600;
    std::string ident_;
    int version_ = 20;
    std::map<std::string, Entry, std::less<>> params_;
    std::array<Regulator, 2> regs_{};
    std::array<Channel, 3> chans_{};
    std::uint8_t inputs_ = 0;
    std::vector<Fault> faults_;
    Fault struck_;  // the last fault Strike() consumed, kept for its settings
    ProcessSettings settings_;
    Clock::time_point last_;
};

}  // namespace zorvat::sim
