#include "sim/instrument.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "IEEE754.h"
#include "ascii_u.h"
#include "hex_text.h"

namespace zorvat::sim {

namespace {

// The process behind a regulator: a first-order lag whose input is the
// regulator's output. Full power would carry the value 600 units above
// ambient, so the default setpoint of 100 settles at about 13 % output.
constexpr double kGainAtFullPower = 600.0;
constexpr double kTimeConstant = 60.0;  // simulated seconds
// Integration step and its limits: a host that polls after an hour of
// silence must not make one request cost millions of steps.
constexpr double kStep = 0.1;
constexpr int kMaxSteps = 2000;
constexpr double kMaxCatchUp = 3600.0;
constexpr double kMaxMagnitude = 1e30;

// Parameters a calculated channel (the third) does not have: it has no
// sensor of its own.
constexpr std::array<std::string_view, 7> kSensorOnly{"303B", "3502", "3033", "3035",
                                                      "3037", "3038", "3042"};

std::string Real(double value) {
    return FloatToWireText(value).value_or("00000000");
}

bool AllHex(std::string_view text, std::size_t digits) {
    return text.size() == digits && std::all_of(text.begin(), text.end(), IsHexDigit);
}

std::string Prefixed(int unit, std::string_view code) {
    return "0" + std::to_string(unit) + std::string(code);
}

}  // namespace

struct Instrument::Loop {
    int channel = 1;
    double setpoint = 0.0;
    double kp = 0.0;
    double ti = 0.0;
    double pmax = 100.0;
    double deadZone = 0.0;
    bool kpOn = true;
    bool direct = false;
    unsigned relays = 0;
};

bool ValueFitsForm(ParamForm form, std::string_view value) {
    switch (form) {
        case ParamForm::Byte:
            return AllHex(value, 2);
        case ParamForm::Word:
            return AllHex(value, 4);
        case ParamForm::Real:
            return AllHex(value, 8);
        case ParamForm::Flag:
            return value == "0" || value == "1";
        case ParamForm::RelayTable:
            return AllHex(value, 24);
        case ParamForm::Password:
            return AllHex(value, 4);
        case ParamForm::StatusBlock:
            return false;
    }
    return false;
}

std::optional<ParsedRequest> ParseRequest(std::string_view text, bool typed) {
    if (text.size() < 2 || text.front() != ':') return std::nullopt;
    const auto lastSemicolon = text.rfind(';');
    if (lastSemicolon == std::string_view::npos || lastSemicolon == 0) return std::nullopt;
    const std::string_view body = text.substr(1, lastSemicolon);
    const std::string_view checksum = text.substr(lastSemicolon + 1);
    // Compared as numbers: "06295" is the checksum 6295.
    if (checksum.empty() || checksum.size() > 5) return std::nullopt;
    const auto sent = ParseDecimal(checksum);
    if (!sent || *sent != Crc16Modbus(body)) return std::nullopt;

    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == ';') {
            fields.emplace_back(body.substr(start, i - start));
            start = i + 1;
        }
    }
    if (fields.size() < 2) return std::nullopt;
    if (fields[0].size() > 3 || fields[1].size() > 3) return std::nullopt;
    const auto address = ParseDecimal(fields[0]);
    const auto command = ParseDecimal(fields[1]);
    if (!address || !command || *address > 255) return std::nullopt;

    ParsedRequest request;
    request.address = static_cast<int>(*address);
    request.command = static_cast<int>(*command);
    request.typed = typed;
    request.fields.assign(fields.begin() + 2, fields.end());
    return request;
}

Instrument::Instrument(int address, const ModelInfo& model, Clock::time_point now,
                       const ProcessSettings& settings)
    : address_(address), model_(&model), ident_(model.ident), settings_(settings), last_(now) {
    if (address < 1 || address > 255) throw std::out_of_range("bus address must be 1..255");
    BuildParameters();
}

void Instrument::Add(std::string number, ParamForm form, bool writable, std::string value) {
    params_.emplace(std::move(number), Entry{form, writable, std::move(value)});
}

void Instrument::BuildParameters() {
    const ModelInfo& m = *model_;
    constexpr bool kFixed = false;
    constexpr bool kWritable = true;

    // What the instrument says about itself: fixed at the factory.
    Add("002007", ParamForm::Byte, kFixed, HexByte(m.code));
    Add("000001", ParamForm::Byte, kFixed, "01");
    Add("000002", ParamForm::Byte, kFixed, HexByte(static_cast<std::uint8_t>(m.channels)));
    Add("002006", ParamForm::Byte, kFixed,
        HexByte(static_cast<std::uint8_t>((1u << m.relays) - 1u)));
    Add("000004", ParamForm::Byte, kFixed, HexByte(static_cast<std::uint8_t>(m.relays)));
    Add("0000FF", ParamForm::StatusBlock, kFixed, {});

    Add("000020", ParamForm::Byte, kWritable,
        HexByte(static_cast<std::uint8_t>((1u << m.channels) - 1u)));
    for (int i = 1; i <= 5; ++i)
        Add("00220" + std::to_string(i), ParamForm::Byte, kWritable, "00");
    for (const char* n : {"002110", "002111", "002112", "002113"}) {
        Add(n, ParamForm::Byte, kWritable, "00");
    }
    Add("00200C", ParamForm::RelayTable, kWritable, std::string(24, '0'));
    for (const char* n : {"005001", "005002", "005003"}) {
        Add(n, ParamForm::Password, kWritable, "0000");
    }

    for (int out = 1; out <= 2; ++out) {
        Add(Prefixed(out, "3F01"), ParamForm::Byte, kWritable, "00");
        Add(Prefixed(out, "3F02"), ParamForm::Byte, kWritable, "02");
        Add(Prefixed(out, "3F03"), ParamForm::Real, kWritable, Real(0.0));
        Add(Prefixed(out, "3F04"), ParamForm::Real, kWritable, Real(100.0));
        Add(Prefixed(out, "3F05"), ParamForm::Real, kWritable, Real(0.0));
    }

    // Linearisation table and polynomial, with a divisor of 1 so that an
    // untouched polynomial does not divide by zero.
    Add("008800", ParamForm::Byte, kWritable, "00");
    for (int i = 1; i <= 10; ++i) {
        Add("0088" + HexByte(static_cast<std::uint8_t>(i)), ParamForm::Real, kWritable, Real(0.0));
    }
    Add("008900", ParamForm::Byte, kWritable, "00");
    Add("008901", ParamForm::Real, kWritable, Real(1.0));
    for (int i = 2; i <= 10; ++i) {
        Add("0089" + HexByte(static_cast<std::uint8_t>(i)), ParamForm::Real, kWritable, Real(0.0));
    }

    struct ChannelParam {
        std::string_view code;
        ParamForm form;
        std::string value;
    };
    const std::vector<ChannelParam> channelParams = {
        {"3531", ParamForm::Byte, "15"},         {"3501", ParamForm::Real, Real(0.0)},
        {"3503", ParamForm::Real, Real(1.0)},    {"3036", ParamForm::Byte, "01"},
        {"3403", ParamForm::Byte, "01"},         {"303E", ParamForm::Real, Real(-999.0)},
        {"303F", ParamForm::Real, Real(9999.0)}, {"303B", ParamForm::Byte, "00"},
        {"303A", ParamForm::Byte, "00"},         {"303C", ParamForm::Byte, "00"},
        {"303D", ParamForm::Byte, "00"},         {"3502", ParamForm::Real, Real(0.0)},
        {"3033", ParamForm::Real, Real(0.0)},    {"3035", ParamForm::Byte, "00"},
        {"3037", ParamForm::Real, Real(0.0)},    {"3038", ParamForm::Real, Real(20.0)},
        {"3042", ParamForm::Byte, "06"},         {"3050", ParamForm::Byte, "00"},
        {"0002", ParamForm::Real, Real(0.0)},    {"0003", ParamForm::Real, Real(0.0)},
        {"0004", ParamForm::Real, Real(0.0)},    {"0005", ParamForm::Real, Real(0.0)},
        {"0006", ParamForm::Real, Real(0.0)},    {"0007", ParamForm::Real, Real(0.0)},
    };
    for (int c = 1; c <= m.channels; ++c) {
        const bool calculated = m.channels == 3 && c == 3;
        for (const auto& p : channelParams) {
            if (calculated &&
                std::find(kSensorOnly.begin(), kSensorOnly.end(), p.code) != kSensorOnly.end()) {
                continue;
            }
            Add(Prefixed(c, p.code), p.form, kWritable, p.value);
        }
    }

    // Both regulators answer even on one-regulator models: the host reads
    // them all. On a three-channel model regulator 2 starts on channel 2.
    for (int r = 1; r <= 2; ++r) {
        const int channel = m.channels == 3 ? r : 1;
        Add(Prefixed(r, "DA70"), ParamForm::Byte, kWritable,
            HexByte(static_cast<std::uint8_t>(channel)));
        Add(Prefixed(r, "DA64"), ParamForm::Byte, kWritable, "00");
        Add(Prefixed(r, "DA79"), ParamForm::Byte, kWritable, "00");
        Add(Prefixed(r, "DA66"), ParamForm::Real, kWritable, Real(100.0));
        Add(Prefixed(r, "DA67"), ParamForm::Real, kWritable, Real(10.0));
        Add(Prefixed(r, "DA68"), ParamForm::Real, kWritable, Real(100.0));
        Add(Prefixed(r, "DA69"), ParamForm::Real, kWritable, Real(15.0));
        Add(Prefixed(r, "DA6A"), ParamForm::Real, kWritable, Real(100.0));
        Add(Prefixed(r, "DA6B"), ParamForm::Real, kWritable, Real(0.0));
        Add(Prefixed(r, "DA6E"), ParamForm::Word, kWritable, HexWordLowFirst(100));
        Add(Prefixed(r, "DA6F"), ParamForm::Word, kWritable, HexWordLowFirst(0));
        Add(Prefixed(r, "DA65"), ParamForm::Flag, kWritable, {});  // live: regs_
        // Each regulator's first output drives its own relay, so a demo shows
        // relays switching.
        Add(Prefixed(r, "DA71"), ParamForm::Byte, kWritable,
            HexByte(static_cast<std::uint8_t>(1u << (r - 1))));
        Add(Prefixed(r, "DA78"), ParamForm::Byte, kWritable, "00");
        Add(Prefixed(r, "DA72"), ParamForm::Flag, kWritable, "1");
        Add(Prefixed(r, "DA75"), ParamForm::Flag, kWritable, "0");
        Add(Prefixed(r, "DAC7"), ParamForm::Flag, kWritable, {});  // live: regs_
    }
}

Instrument::Regulator& Instrument::Reg(int r) {
    if (r < 1 || r > 2) throw std::out_of_range("regulator must be 1 or 2");
    return regs_[static_cast<std::size_t>(r - 1)];
}

const Instrument::Regulator& Instrument::Reg(int r) const {
    if (r < 1 || r > 2) throw std::out_of_range("regulator must be 1 or 2");
    return regs_[static_cast<std::size_t>(r - 1)];
}

Instrument::Channel& Instrument::Chan(int ch) {
    if (ch < 1 || ch > 3) throw std::out_of_range("channel must be 1..3");
    return chans_[static_cast<std::size_t>(ch - 1)];
}

const Instrument::Channel& Instrument::Chan(int ch) const {
    if (ch < 1 || ch > 3) throw std::out_of_range("channel must be 1..3");
    return chans_[static_cast<std::size_t>(ch - 1)];
}

std::optional<std::string> Instrument::Param(std::string_view number) const {
    const std::string key = UpperAscii(number);
    const auto it = params_.find(key);
    if (it == params_.end()) return std::nullopt;
    if (it->second.form == ParamForm::StatusBlock) return StatusBlock();
    const std::string_view code = std::string_view(key).substr(2);
    if (code == "DA65") return RegulatorOn(key[1] - '0') ? "1" : "0";
    if (code == "DAC7") return AutoTune(key[1] - '0') ? "1" : "0";
    return it->second.value;
}

std::optional<ParamForm> Instrument::Form(std::string_view number) const {
    const auto it = params_.find(UpperAscii(number));
    if (it == params_.end()) return std::nullopt;
    return it->second.form;
}

std::vector<std::string> Instrument::ParamNumbers() const {
    std::vector<std::string> out;
    out.reserve(params_.size());
    for (const auto& [number, param] : params_)
        out.push_back(number);
    return out;
}

Instrument::SetResult Instrument::SetParam(std::string_view number, std::string_view value,
                                           bool force) {
    const std::string key = UpperAscii(number);
    const auto it = params_.find(key);
    if (it == params_.end()) return SetResult::Unknown;
    Entry& p = it->second;
    if (p.form == ParamForm::StatusBlock) return SetResult::ReadOnly;
    if (!p.writable && !force) return SetResult::ReadOnly;
    if (!ValueFitsForm(p.form, value)) return SetResult::BadForm;

    const std::string_view code = std::string_view(key).substr(2);
    if (code == "DA65") {
        SetRegulatorOn(key[1] - '0', value == "1");
    } else if (code == "DAC7") {
        SetAutoTune(key[1] - '0', value == "1");
    } else {
        // The instrument keeps numbers, not texts: it answers in its own
        // (upper-case) form whatever case it was sent.
        p.value = UpperAscii(value);
    }
    return SetResult::Ok;
}

bool Instrument::RegulatorOn(int r) const {
    return Reg(r).on;
}

void Instrument::SetRegulatorOn(int r, bool on) {
    Regulator& g = Reg(r);
    if (on && !g.on) g.integral = 0.0;
    g.on = on;
    if (!on && !g.autotune) g.output = 0.0;
}

bool Instrument::AutoTune(int r) const {
    return Reg(r).autotune;
}

void Instrument::SetAutoTune(int r, bool on) {
    Regulator& g = Reg(r);
    g.autotune = on;
    g.autotuneLeft = on ? settings_.autotuneSeconds : 0.0;
    if (!on && !g.on) g.output = 0.0;
}

double Instrument::Output(int r) const {
    return Reg(r).output;
}

double Instrument::Measured(int ch) const {
    return Chan(ch).value;
}

void Instrument::SetMeasured(int ch, double value) {
    if (!std::isfinite(value)) throw std::invalid_argument("measured value must be finite");
    Chan(ch).value = std::clamp(value, -kMaxMagnitude, kMaxMagnitude);
}

std::uint8_t Instrument::ChannelStatus(int ch) const {
    return Chan(ch).status;
}

void Instrument::SetChannelStatus(int ch, std::uint8_t status) {
    Chan(ch).status = status;
}

void Instrument::SetInputs(std::uint8_t mask) {
    inputs_ = static_cast<std::uint8_t>(mask & ((1u << model_->inputs) - 1u));
}

std::uint8_t Instrument::Relays() const {
    unsigned relays = 0;
    for (int r = 1; r <= model_->regulators; ++r) {
        if (Reg(r).output > 50.0) relays |= ByteParam(Prefixed(r, "DA71"));
    }
    return static_cast<std::uint8_t>(relays & ((1u << model_->relays) - 1u));
}

std::uint8_t Instrument::RegulatorStatus() const {
    unsigned status = 0;
    for (int r = 1; r <= model_->regulators; ++r) {
        const unsigned shift = r == 1 ? 0u : 4u;
        if (Reg(r).on) status |= 1u << shift;
        if (Reg(r).autotune) status |= 2u << shift;
    }
    return static_cast<std::uint8_t>(status);
}

std::string Instrument::StatusBlock() const {
    std::string block;
    block.reserve(42);
    block += HexByte(Relays());
    block += "000000";
    block += HexByte(RegulatorStatus());
    for (int ch = 1; ch <= 3; ++ch) {
        if (ch <= model_->channels) {
            block += HexByte(Chan(ch).status);
            block += Real(Chan(ch).value);
        } else {
            block += "0000000000";
        }
    }
    block += HexByte(inputs_);
    return block;
}

double Instrument::RealParam(const std::string& number, double fallback) const {
    const auto it = params_.find(number);
    double value = fallback;
    if (it == params_.end() || !WireTextToFloat(it->second.value, value)) return fallback;
    return value;
}

unsigned Instrument::ByteParam(const std::string& number) const {
    const auto it = params_.find(number);
    if (it == params_.end()) return 0;
    return ParseHex(it->second.value).value_or(0);
}

bool Instrument::FlagParam(const std::string& number) const {
    const auto it = params_.find(number);
    return it != params_.end() && it->second.value != "0";
}

int Instrument::InputChannel(int r) const {
    // As the host reads it: 0 means channel 1, anything above 3 channel 3.
    const unsigned raw = ByteParam(Prefixed(r, "DA70"));
    const int ch = raw == 0 ? 1 : static_cast<int>(std::min(raw, 3u));
    return std::min(ch, model_->channels);
}

Instrument::Loop Instrument::ReadLoop(int r) const {
    Loop loop;
    loop.channel = InputChannel(r);
    loop.setpoint = RealParam(Prefixed(r, "DA66"), 0.0);
    loop.kp = RealParam(Prefixed(r, "DA67"), 0.0);
    loop.ti = RealParam(Prefixed(r, "DA68"), 0.0);
    loop.pmax = std::clamp(RealParam(Prefixed(r, "DA6A"), 100.0), 0.0, 100.0);
    loop.deadZone = std::fabs(RealParam(Prefixed(r, "DA6B"), 0.0));
    loop.kpOn = FlagParam(Prefixed(r, "DA72"));
    loop.direct = FlagParam(Prefixed(r, "DA75"));
    loop.relays = ByteParam(Prefixed(r, "DA71"));
    return loop;
}

void Instrument::SetProcessSettings(const ProcessSettings& settings, Clock::time_point now) {
    Advance(now);
    settings_ = settings;
}

void Instrument::Advance(Clock::time_point now) {
    if (now <= last_) return;
    double dt = std::chrono::duration<double>(now - last_).count() * settings_.speed;
    last_ = now;
    if (!(dt > 0.0)) return;
    // After an hour of simulated silence the process has long settled.
    dt = std::min(dt, kMaxCatchUp);
    const int steps = std::clamp(static_cast<int>(std::ceil(dt / kStep)), 1, kMaxSteps);
    const double h = dt / steps;
    const std::array<Loop, 2> loops{ReadLoop(1), ReadLoop(2)};
    for (int i = 0; i < steps; ++i)
        Step(h, loops);
}

void Instrument::Step(double h, const std::array<Loop, 2>& loops) {
    std::array<double, 3> heat{0.0, 0.0, 0.0};
    for (int r = 1; r <= model_->regulators; ++r) {
        Regulator& g = Reg(r);
        const Loop& loop = loops[static_cast<std::size_t>(r - 1)];
        const double sign = loop.direct ? -1.0 : 1.0;
        double error = sign * (loop.setpoint - Chan(loop.channel).value);
        if (std::fabs(error) <= loop.deadZone) error = 0.0;

        if (g.autotune) {
            // A relay experiment: full power below the setpoint, none above.
            g.output = error > 0.0 ? loop.pmax : 0.0;
            g.autotuneLeft -= h;
            if (g.autotuneLeft <= 0.0) {
                g.autotune = false;
                g.autotuneLeft = 0.0;
                g.integral = 0.0;
            }
        } else if (g.on) {
            const double p = loop.kpOn ? loop.kp * error : 0.0;
            const double di = loop.ti > 0.0 ? loop.kp * error * h / loop.ti : 0.0;
            const double u = p + g.integral + di;
            // Integrate only while it does not push further into the limit.
            if (!((u > loop.pmax && di > 0.0) || (u < 0.0 && di < 0.0))) g.integral += di;
            g.output = std::clamp(p + g.integral, 0.0, loop.pmax);
        } else {
            g.output = 0.0;
            g.integral = 0.0;
        }
        heat[static_cast<std::size_t>(loop.channel - 1)] +=
            sign * kGainAtFullPower * g.output / 100.0;
    }
    const double k = 1.0 - std::exp(-h / kTimeConstant);
    for (std::size_t c = 0; c < chans_.size(); ++c) {
        const double target = kAmbient + heat[c];
        chans_[c].value += (target - chans_[c].value) * k;
    }
}

const Fault* Instrument::Strike(FaultKind kind, const ParsedRequest& request, ReplyPlan& plan) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->kind != kind) continue;
        if (!it->parameter.empty()) {
            const bool hasParameter =
                (request.command == 37 || request.command == 38) && !request.fields.empty();
            if (!hasParameter || UpperAscii(request.fields[0]) != it->parameter) continue;
        }
        if (it->command && *it->command != request.command) continue;
        plan.faults.push_back(DescribeFault(*it));
        struck_ = *it;
        if (it->count != kUnlimited && --it->count <= 0) faults_.erase(it);
        return &struck_;
    }
    return nullptr;
}

std::string Instrument::Write(const std::vector<std::string>& fields) {
    if (fields.empty()) return "$16";
    if (fields.size() != 2) return "$17";
    switch (SetParam(fields[0], fields[1])) {
        case SetResult::Ok:
            return "$0";
        case SetResult::BadForm:
            return "$17";
        case SetResult::Unknown:
        case SetResult::ReadOnly:
            return "$16";
    }
    return "$16";
}

ReplyPlan Instrument::Answer(const ParsedRequest& request) {
    ReplyPlan plan;
    const int command = request.command;
    // Commands the instrument does not know get no answer; the
    // identification is only answered in its typed form.
    const bool understood = (command == 0 && request.typed) || command == 37 || command == 38 ||
                            (command == 198 && request.fields.empty());
    if (!understood) return plan;

    if (const Fault* f = Strike(FaultKind::Vanish, request, plan)) {
        plan.vanish = true;
        plan.vanishFor = FaultTime(*f);
        return plan;
    }
    if (Strike(FaultKind::Silent, request, plan)) return plan;

    std::string data;
    if (const Fault* f = Strike(FaultKind::ErrorStatus, request, plan)) {
        // The request is refused, so a write does not take effect.
        data = "$" + std::to_string(FaultNumber(*f, address_));
    } else if (command == 0) {
        const Fault* ident = Strike(FaultKind::IdentCode, request, plan);
        data = ident ? FaultText(*ident) : ident_;
    } else if (command == 198) {
        const Fault* version = Strike(FaultKind::Version, request, plan);
        data = std::to_string(version ? FaultNumber(*version, address_) : version_);
    } else if (command == 37) {
        data = request.fields.empty() ? "$16" : Param(request.fields[0]).value_or("$16");
    } else {
        data = Write(request.fields);
    }

    // The request still takes effect (a write is stored); only what the
    // reply says about it changes.
    if (const Fault* f = Strike(FaultKind::Data, request, plan)) data = FaultText(*f);
    if (Strike(FaultKind::LowerCase, request, plan)) data = LowerAscii(data);

    int replyAddress = address_;
    if (const Fault* f = Strike(FaultKind::WrongAddress, request, plan)) {
        replyAddress = FaultNumber(*f, address_);
    }
    std::string body = std::to_string(replyAddress) + ";" + data + ";";
    if (Strike(FaultKind::Overlong, request, plan)) {
        // A well-formed frame, only too long for the host to take.
        const std::size_t fill = body.size() < 290 ? 290 - body.size() : 1;
        body += std::string(fill, '0') + ";";
    }
    unsigned checksum = Crc16Modbus(body);
    if (Strike(FaultKind::BadChecksum, request, plan)) checksum = (checksum + 1u) & 0xFFFFu;

    std::string frame = "!" + body + std::to_string(checksum);
    if (!Strike(FaultKind::NoCR, request, plan)) frame += '\r';
    if (const Fault* f = Strike(FaultKind::Noise, request, plan)) frame = FaultText(*f) + frame;

    if (const Fault* f = Strike(FaultKind::Split, request, plan)) {
        const std::size_t pieces = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(FaultPieces(*f), 2)), frame.size());
        for (std::size_t k = 1; k < pieces; ++k) {
            plan.pauseBefore.push_back(k * frame.size() / pieces);
        }
        plan.pause = FaultTime(*f);
    }
    if (const Fault* f = Strike(FaultKind::Delay, request, plan)) plan.delay = FaultTime(*f);

    plan.answer = true;
    plan.bytes = std::move(frame);
    return plan;
}

}  // namespace zorvat::sim
