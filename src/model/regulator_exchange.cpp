#include "regulator_exchange.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "IEEE754.h"
#include "com_u.h"
#include "error_line.h"
#include "ex_com.h"
#include "hex_text.h"
#include "result_messages.h"

namespace zorvat {

namespace {

// How a value travels in the data field.
enum class Encoding { Byte, Word, Real, Flag };

struct Decoded {
    std::uint32_t integer = 0;
    double real = 0.0;
    bool flag = false;
};

// A byte, word or real whose text is not what it should be is bad payload:
// storing a half-converted number would put a wrong value into the record
// without a word to the operator.
std::optional<Decoded> Decode(Encoding encoding, const std::string& text) {
    Decoded v;
    switch (encoding) {
        case Encoding::Byte: {
            const auto n = ParseHex(text);
            if (!n || *n > 0xFF) return std::nullopt;
            v.integer = *n;
            return v;
        }
        case Encoding::Word: {
            const auto n = ParseHexWordLowFirst(text);
            if (!n) return std::nullopt;
            v.integer = *n;
            return v;
        }
        case Encoding::Real:
            if (!WireTextToFloat(text, v.real)) return std::nullopt;
            return v;
        case Encoding::Flag:
            // The instruments answer "0" or "1"; everything but "0" is on.
            v.flag = text != "0";
            return v;
    }
    return std::nullopt;
}

template <auto Member>
using FieldType =
    typename std::remove_reference_t<decltype(std::declval<TParams&>().*Member)>::value_type;

template <auto Member>
constexpr Encoding EncodingOf() {
    using T = FieldType<Member>;
    if constexpr (std::is_same_v<T, bool>) {
        return Encoding::Flag;
    } else if constexpr (std::is_same_v<T, double>) {
        return Encoding::Real;
    } else if constexpr (std::is_same_v<T, std::uint16_t>) {
        return Encoding::Word;
    } else {
        static_assert(std::is_same_v<T, std::uint8_t>);
        return Encoding::Byte;
    }
}

template <auto Member>
void Store(TModel&, TParams& r, const Decoded& v) {
    using T = FieldType<Member>;
    if constexpr (std::is_same_v<T, bool>) {
        (r.*Member) = v.flag;
    } else if constexpr (std::is_same_v<T, double>) {
        (r.*Member) = v.real;
    } else {
        (r.*Member) = static_cast<T>(v.integer);
    }
}

// The text a write sends; nothing for a real too large to travel.
template <auto Member>
std::optional<std::string> Encode(const TParams& r) {
    using T = FieldType<Member>;
    const T value = (r.*Member).load();
    if constexpr (std::is_same_v<T, bool>) {
        return std::string(value ? "1" : "0");
    } else if constexpr (std::is_same_v<T, double>) {
        return FloatToWireText(value);
    } else if constexpr (std::is_same_v<T, std::uint16_t>) {
        return HexWordLowFirst(value);
    } else {
        return HexByte(value);
    }
}

// The input channel is kept in range whatever the instrument says.
void StoreInputChannel(TModel&, TParams& r, const Decoded& v) {
    SetInputChannel(r, static_cast<std::uint8_t>(v.integer));
}

// The on-state changes only through SetRegOn: it starts the port's polling
// job and takes the chart's time origin.
void StoreRegOn(TModel& model, TParams& r, const Decoded& v) {
    SetRegOn(model, r, v.flag);
}

struct RegulatorField {
    std::string_view name;  // the record's name of the field, "Setpoint"
    std::string_view code;  // "DA66"; the number is "0" + regulator + code
    Encoding encoding;
    std::string_view writeName;  // names the parameter in the write's error line
    void (*store)(TModel&, TParams&, const Decoded&);
    std::optional<std::string> (*encode)(const TParams&);
};

template <auto Member>
constexpr RegulatorField Field(std::string_view name, std::string_view code,
                               std::string_view writeName) {
    return {name, code, EncodingOf<Member>(), writeName, &Store<Member>, &Encode<Member>};
}

template <auto Member>
constexpr RegulatorField Field(std::string_view name, std::string_view code,
                               std::string_view writeName,
                               void (*store)(TModel&, TParams&, const Decoded&)) {
    RegulatorField f = Field<Member>(name, code, writeName);
    f.store = store;
    return f;
}

const std::array<RegulatorField, 17> kRegulatorFields = {
    Field<&TParams::InputChannel>("InputChannel", "DA70", "\"Номер канала\"", &StoreInputChannel),
    Field<&TParams::SetpointSource>("SetpointSource", "DA64",
                                    "\"Источник параметра регулирования\""),
    Field<&TParams::RegMode>("RegMode", "DA79", "\"Печка / Заслонка \""),
    Field<&TParams::Setpoint>("Setpoint", "DA66", "\"Регулируемая величина\""),
    Field<&TParams::Kp>("Kp", "DA67", "\"Кп\""),
    Field<&TParams::Ti>("Ti", "DA68", "\"tи\""),
    Field<&TParams::Td>("Td", "DA69", "\"tд\""),
    Field<&TParams::Pmax>("Pmax", "DA6A", "\"Максимальная мощность Pmax\""),
    Field<&TParams::DeadZone>("DeadZone", "DA6B", "\"Зона нечувствительности\""),
    Field<&TParams::PwmPeriod>("PwmPeriod", "DA6E", "\"Период Шим\""),
    Field<&TParams::MinRelayTime>("MinRelayTime", "DA6F", "\"Мин. время переключения реле\""),
    // Read only here; switched by the regulator control.
    Field<&TParams::RegOn>("RegOn", "DA65", "", &StoreRegOn),
    Field<&TParams::Relays1>("Relays1", "DA71", "\"Реле1\""),
    Field<&TParams::Relays2>("Relays2", "DA78", "\"Реле2\""),
    Field<&TParams::KpOn>("KpOn", "DA72", "\"Кп Вкл/Выкл\""),
    Field<&TParams::DirectAction>("DirectAction", "DA75", "\"Направление работы\""),
    Field<&TParams::AutoTune>("AutoTune", "DAC7", ""),
};

const RegulatorField* FindRegulatorField(std::string_view code) {
    for (const RegulatorField& f : kRegulatorFields) {
        if (f.code == code) return &f;
    }
    return nullptr;
}

// Instrument-wide values, all bytes; 000001 is read and not kept.
struct InstrumentField {
    std::string_view number;
    std::atomic<std::uint8_t> TDevice::*member;
};

const std::array<InstrumentField, 6> kInstrumentFields = {{
    {"002007", &TDevice::ModelCode},
    {"000001", nullptr},
    {"000002", &TDevice::ChannelCount},
    {"000020", &TDevice::InPE},
    {"002006", &TDevice::RelayMask},
    {"000004", &TDevice::RelayCount},
}};

struct Step {
    std::string_view number;  // read: the whole number; write: the code
    int progress;
    bool stopPoint;  // StopFlag is looked at after this one
};

constexpr bool S = true;
constexpr bool N = false;

const std::array<Step, 40> kReadOrder = {{
    {"002007", 2, N},  {"000001", 5, N},  {"000002", 7, N},  {"000020", 7, N},  {"002006", 10, S},
    {"000004", 12, N}, {"01DA70", 13, S}, {"02DA70", 14, N}, {"01DA64", 15, S}, {"02DA64", 16, N},
    {"01DA79", 16, S}, {"02DA79", 17, N}, {"01DA66", 20, S}, {"02DA66", 22, N}, {"01DA67", 25, S},
    {"02DA67", 27, N}, {"01DA68", 30, S}, {"02DA68", 32, N}, {"01DA69", 35, S}, {"02DA69", 37, N},
    {"01DA6A", 40, S}, {"02DA6A", 42, N}, {"01DA6B", 43, S}, {"02DA6B", 47, N}, {"01DA6E", 50, N},
    {"02DA6E", 52, S}, {"01DA6F", 53, N}, {"02DA6F", 55, N}, {"01DA65", 57, N}, {"02DA65", 60, N},
    {"01DA71", 62, S}, {"02DA71", 63, N}, {"01DA78", 64, S}, {"02DA78", 65, N}, {"01DA72", 67, N},
    {"02DA72", 80, S}, {"01DA75", 85, N}, {"02DA75", 90, S}, {"01DAC7", 95, N}, {"02DAC7", 100, N},
}};

const std::array<Step, 15> kWriteOrder = {{
    {"DA66", 17, S},
    {"DA67", 17, S},
    {"DA68", 17, S},
    {"DA69", 17, N},
    {"DA6A", 17, S},
    {"DA6B", 17, N},
    {"DA6E", 47, S},
    {"DA6F", 47, S},
    {"DA70", 47, N},
    {"DA71", 47, N},
    {"DA78", 55, S},
    {"DA64", 56, S},
    {"DA79", 57, S},
    {"DA72", 65, S},
    {"DA75", 65, N},
}};

std::string RegulatorNumber(std::uint8_t r, std::string_view code) {
    return "0" + std::to_string(r) + std::string(code);
}

// Puts a value read under `number` into the records; -21 when its text
// cannot be what the parameter holds.
TResult StoreRead(TModel& model, TDevice& device, std::string_view number,
                  const std::string& text) {
    const bool regulator = number.size() == 6 && number[0] == '0' &&
                           (number[1] == '1' || number[1] == '2') && number.substr(2, 2) == "DA";
    if (regulator) {
        const RegulatorField* field = FindRegulatorField(number.substr(2));
        if (field == nullptr) return rc::BadArgument;
        const auto value = Decode(field->encoding, text);
        if (!value) return rc::BadPayload;
        field->store(model, *device.Regs[static_cast<std::size_t>(number[1] - '0')], *value);
        return rc::Ok;
    }
    for (const InstrumentField& field : kInstrumentFields) {
        if (field.number != number) continue;
        const auto value = Decode(Encoding::Byte, text);
        if (!value) return rc::BadPayload;
        if (field.member != nullptr) {
            (device.*field.member) = static_cast<std::uint8_t>(value->integer);
        }
        return rc::Ok;
    }
    return rc::BadArgument;
}

// The 40 reads of one instrument on an open port. Ok also when stopped at a
// stop point; the first failure ends it with its code.
TResult ReadOneInstrument(TModel& model, TExCOM& port, TDevice& device) {
    TSurfaces& surfaces = model.Surfaces();
    std::string value;
    for (const Step& step : kReadOrder) {
        TResult code = ReadParam(port, device.Address, step.number, value);
        if (code == rc::Ok) code = StoreRead(model, device, step.number, value);
        if (code != rc::Ok) return code;
        surfaces.SetProgress(step.progress);
        if (step.stopPoint && model.StopFlag) break;
    }
    return rc::Ok;
}

std::string WriteErrorLine(TResult code, const TDevice& device, const std::string& message,
                           std::string_view parameterName) {
    return Format({.layout = ErrorLayout::RegulatorWrite,
                   .code = code,
                   .port = device.ParentPort,
                   .address = device.Address,
                   .message = message,
                   .tail = std::string(parameterName)});
}

bool MinRelayTimeFits(const TParams& r) {
    // Tenths of a second against half the period in seconds.
    return !(r.MinRelayTime / 10.0 > r.PwmPeriod * 0.5);
}

}  // namespace

Outcome ReadInstrumentParams(TModel& model, std::uint8_t which, bool clearErrorLog) {
    TSurfaces& surfaces = model.Surfaces();
    const std::size_t count = model.DeviceList.Count();
    if (count == 0) return Outcome::Done;
    if (clearErrorLog) surfaces.ClearErrorLog();
    const bool all = which == kAllDevices;
    if (!all && which >= count) return Outcome::Done;

    surfaces.SetProgress(0);
    surfaces.SetStatus(all ? "Идёт чтение параметров всех приборов..."
                           : "Идёт чтение параметров прибора...");

    std::unique_ptr<TExCOM> port = model.NewPort();
    // One rate for every instrument: a search gives them all the same one.
    TResult code = ConfigurePort(*port, model.Device(0)->Baudrate, 1000);
    bool failed = code != rc::Ok;
    if (code == rc::Ok) {
        const std::size_t first = all ? 0 : which;
        const std::size_t last = all ? count : std::size_t{which} + 1;
        for (std::size_t d = first; d < last; ++d) {
            TDevice& device = *model.Device(d);
            if (!device.Present) continue;
            TParams& handOver = *device.Regs[1];
            code = rc::Ok;
            if (RequestPort(model, handOver, device.ParentPort, HandOver::Pause, &model.StopFlag)) {
                code = port->OpenPort(device.ParentPort);
                if (code == rc::Ok && !model.StopFlag) {
                    code = ReadOneInstrument(model, *port, device);
                }
            }
            port->ClosePort();
            std::string message;
            if (ResultMessage(code, device.ParentPort, message)) {
                surfaces.AddErrorLine(Format({.code = code, .port = device.ParentPort}));
            }
            failed = failed || code != rc::Ok;
            ReleasePort(handOver, HandOver::Pause);
            if (model.StopFlag) break;
        }
    }
    FreePort(port);

    Outcome outcome = failed ? Outcome::Failed : Outcome::Done;
    if (model.StopFlag) {
        outcome = Outcome::Stopped;
    } else if (code == rc::Ok) {
        surfaces.AddErrorLine("Чтение параметров успешно завершено.");
    }
    surfaces.SetProgress(0);
    surfaces.SetProjectChanged(true);
    return outcome;
}

Outcome WriteRegulatorParams(TModel& model, std::uint8_t d, std::uint8_t r, bool setpointOnly,
                             RegulatorWrite* report) {
    RegulatorWrite ignored;
    RegulatorWrite& got = report != nullptr ? *report : ignored;
    got = {};
    TSurfaces& surfaces = model.Surfaces();
    TDevice* device = model.Device(d);
    TParams* R = model.Regulator(d, r);
    if (device == nullptr || R == nullptr) return Outcome::Failed;

    if (!setpointOnly && !MinRelayTimeFits(*R)) {
        surfaces.AddErrorLine(
            "Запись параметров невозможна, т.к. \"Мин. время между перекл. реле\" больше "
            "половины значения \"Период ШИМ сигнала\".");
        return Outcome::Failed;
    }

    const std::atomic<bool>& stop = setpointOnly ? R->ProgStop : model.StopFlag;
    TResult code = rc::Ok;
    std::unique_ptr<TExCOM> port;
    const bool granted = RequestPort(model, *R, device->ParentPort, HandOver::Write, &stop);
    // An instrument the search did not find takes nothing; that is no success.
    const bool absent = !device->Present;
    if (granted && absent) {
        surfaces.AddErrorLine("Запись параметров невозможна: прибор не найден.");
    } else if (granted) {
        surfaces.SetProgress(0);
        surfaces.SetStatus("Идёт запись параметров в прибор...");
        port = model.NewPort();
        code = ConfigurePort(*port, device->Baudrate, 2000);
        std::string_view failedName;
        if (code == rc::Ok) {
            code = port->OpenPort(device->ParentPort);
            if (code == rc::Ok) {
                for (std::size_t i = 0; i < kWriteOrder.size(); ++i) {
                    const Step& step = kWriteOrder[i];
                    const RegulatorField& field = *FindRegulatorField(step.number);
                    surfaces.SetProgress(step.progress);
                    failedName = field.writeName;
                    std::optional<std::string> value = field.encode(*R);
                    // A real beyond the single's range cannot be sent at all.
                    code = value ? WriteParam(*port, device->Address,
                                              RegulatorNumber(r, step.number), *value)
                                 : rc::BadArgument;
                    if (code != rc::Ok) {
                        got.failed = field.name;
                        break;
                    }
                    got.written.emplace_back(field.name);
                    if (setpointOnly) break;
                    if (step.stopPoint && model.StopFlag) break;
                    if (i + 1 == kWriteOrder.size()) surfaces.SetProgress(100);
                }
                port->ClosePort();
            }
            std::string message;
            if (ResultMessage(code, device->ParentPort, message)) {
                surfaces.AddErrorLine(WriteErrorLine(code, *device, message, failedName));
            }
        }
    }
    if (port) FreePort(port);
    got.code = code;

    Outcome outcome = Outcome::Done;
    if (!granted || (!setpointOnly && model.StopFlag)) {
        outcome = Outcome::Stopped;
    } else if (absent || code != rc::Ok) {
        outcome = Outcome::Failed;
    } else if (!setpointOnly) {
        surfaces.AddErrorLine("Запись параметров успешно завершена.");
    }
    ReleasePort(*R, HandOver::Write);
    surfaces.SetProgress(0);
    surfaces.SetStatus("");
    surfaces.SetProjectChanged(true);
    return outcome;
}

void TickRegulatorNodes(TModel& model) {
    TSurfaces& surfaces = model.Surfaces();
    for (std::size_t d = 0; d < model.DeviceList.Count(); ++d) {
        const TDevice& device = *model.Device(d);
        // An instrument of unknown model has no node in the tree.
        if (device.Name.empty()) continue;
        for (std::uint8_t r = 1; r <= 2; ++r) {
            const TParams* reg = device.Regs[r].get();
            if (reg == nullptr || !reg->Present) continue;
            surfaces.SetRegulatorChecked({static_cast<std::uint8_t>(d), r}, reg->RegOn);
        }
    }
}

}  // namespace zorvat
