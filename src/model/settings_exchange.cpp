#include "settings_exchange.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "IEEE754.h"
#include "com_u.h"
#include "error_line.h"
#include "ex_com.h"
#include "hex_text.h"
#include "result_messages.h"

namespace zorvat {

namespace {

constexpr std::uint16_t kReplyTimeoutMs = 1000;
constexpr const char* kReadDone = "Чтение параметров успешно завершено.";
constexpr const char* kWriteDone = "Запись параметров успешно завершена.";
constexpr const char* kWriteStopped = "Запись прервана.";

// The records one exchange works on.
struct Target {
    TDevice& device;
    TChnl* channel;  // the channel group's record; null for the other groups
};

// How a parameter's value travels and which field holds it.
struct Codec {
    // The data text a write sends; nothing when the value cannot travel.
    std::optional<std::string> (*encode)(const Target&);
    // Stores the data text of a read; false, storing nothing, when the text
    // is not of the value's form: a half-converted number would put a wrong
    // value into the record without a word to the operator.
    bool (*decode)(const Target&, std::string_view);
};

template <class Record, class Field>
Record RecordOf(Field Record::*);

template <auto Member>
auto& FieldOf(const Target& t) {
    using Record = decltype(RecordOf(Member));
    if constexpr (std::is_same_v<Record, TChnl>) {
        return t.channel->*Member;
    } else {
        static_assert(std::is_same_v<Record, TDevice>);
        return t.device.*Member;
    }
}

// Two upper-case digits; on reading, the whole field is one hexadecimal
// number of which the low 8 bits count.
template <auto Member>
constexpr Codec Byte() {
    return {
        [](const Target& t) -> std::optional<std::string> { return HexByte(FieldOf<Member>(t)); },
        [](const Target& t, std::string_view text) {
            const auto n = ParseHex(text);
            if (!n) return false;
            FieldOf<Member>(t) = static_cast<std::uint8_t>(*n & 0xFFu);
            return true;
        }};
}

// The eight digits of the single's wire form.
template <auto Member>
constexpr Codec Real() {
    return {[](const Target& t) { return FloatToWireText(FieldOf<Member>(t)); },
            [](const Target& t, std::string_view text) {
                double value = 0.0;
                if (!WireTextToFloat(text, value)) return false;
                FieldOf<Member>(t) = value;
                return true;
            }};
}

// Two digits per byte, byte 0 first.
template <auto Member>
constexpr Codec Table() {
    return {[](const Target& t) -> std::optional<std::string> {
                std::string text;
                for (std::uint8_t b : FieldOf<Member>(t))
                    text += HexByte(b);
                return text;
            },
            [](const Target& t, std::string_view text) {
                auto& table = FieldOf<Member>(t);
                std::remove_reference_t<decltype(table)> bytes{};
                if (text.size() != 2 * bytes.size()) return false;
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    const auto n = ParseHex(text.substr(2 * i, 2));
                    if (!n) return false;
                    bytes[i] = static_cast<std::uint8_t>(*n);
                }
                table = bytes;
                return true;
            }};
}

// The instrument holds c1 c2 c3 c4, the record c3 c4 c1 c2; exchanging the
// pairs turns either form into the other. The digits keep their case, so a
// password read and written back is sent exactly as it came.
std::optional<std::string> SwapPairs(std::string_view text) {
    if (text.size() != 4 || !std::all_of(text.begin(), text.end(), IsHexDigit)) {
        return std::nullopt;
    }
    return std::string(text.substr(2)) + std::string(text.substr(0, 2));
}

template <auto Member>
constexpr Codec Password() {
    return {[](const Target& t) { return SwapPairs(FieldOf<Member>(t)); },
            [](const Target& t, std::string_view text) {
                auto swapped = SwapPairs(text);
                if (!swapped) return false;
                FieldOf<Member>(t) = std::move(*swapped);
                return true;
            }};
}

// The progress bar is left where it is.
constexpr int kKeep = -1;

// What sets a parameter apart in its group's sequence.
enum ParamFlag : unsigned {
    kStopAfter = 1u,   // StopFlag is looked at after its transaction
    kReadOnly = 2u,    // read, never written
    kSensorOnly = 4u,  // not on the calculated channel, which has no sensor
};

struct Param {
    // Six characters, or a four-character code that follows the channel's or
    // the output's prefix ("02" + "3531").
    std::string_view number;
    Codec codec;
    int readProgress;        // where the bar goes just before the transaction
    int writeProgress;       //
    std::string_view label;  // ends the texts of a failed write, quotes included
    unsigned flags = 0;
};

constexpr unsigned S = kStopAfter;

// Instrument-wide items of the channel dialog, exchanged with channel 1.
const std::array<Param, 8> kInstrumentBlock = {{
    {"002007", Byte<&TDevice::ModelCode>(), kKeep, kKeep, "", kReadOnly},
    {"000020", Byte<&TDevice::InPE>(), 7, kKeep, "\"Включенные каналы\""},
    {"002006", Byte<&TDevice::RelayMask>(), 7, kKeep, "", kReadOnly},
    {"002201", Byte<&TDevice::Fd1>(), 7, kKeep, "\"Конфигурация дискретного входа 1\""},
    {"002202", Byte<&TDevice::Fd2>(), 8, kKeep, "\"Конфигурация дискретного входа 2\""},
    {"002203", Byte<&TDevice::Fd3>(), 8, kKeep, "\"Конфигурация дискретного входа 3\""},
    {"002204", Byte<&TDevice::Fd4>(), 9, kKeep, "\"Конфигурация дискретного входа 4\""},
    {"002205", Byte<&TDevice::Fd5>(), 9, kKeep, "\"Конфигурация дискретного входа 5\""},
}};

const std::array<Param, 24> kChannelBlock = {{
    {"3531", Byte<&TChnl::SEnS>(), 9, 5, "\"Тип датчика\"", S},
    {"3501", Real<&TChnl::SHFn>(), 10, 10, "\"Линейное смещение шкалы\""},
    {"3503", Real<&TChnl::GAin>(), 15, 15, "\"Масштабный коэффициент шкалы\"", S},
    {"3036", Byte<&TChnl::PrcS>(), 20, 20, "\"Кол-во знаков после запятой\""},
    {"3403", Byte<&TChnl::nSu>(), 22, 22, "\"Количество усреднений\"", S},
    {"303E", Real<&TChnl::brdL>(), 25, 25, "\"Нижняя граница обрыва датчика\""},
    {"303F", Real<&TChnl::brdH>(), 27, 27, "\"Верхняя граница обрыва датчика\"", S},
    {"303B", Byte<&TChnl::CUtE>(), 30, 30, "\"Тестирование обрыва датчика\"", kSensorOnly},
    {"303A", Byte<&TChnl::Sqr>(), 32, 32, "\"Квадратный корень\"", S},
    {"303C", Byte<&TChnl::ZSqr>(), 35, 35, "\"Обнуление кв. корня ниже нуля\""},
    {"303D", Byte<&TChnl::Sil>(), 37, 37, "\"Граница линеаризации кв. корня\"", S},
    {"3502", Real<&TChnl::R0Deviation>(), 40, 40,
     "\"Отклонение сопротивления датчика в 0°С от номинала\"", S | kSensorOnly},
    {"3033", Real<&TChnl::rESL>(), 45, 45, "\"Сопротивление 2-х пров. линии ТС\"", S | kSensorOnly},
    {"3035", Byte<&TChnl::Lc>(), 50, 50, "\"Схема подключения ТС\"", S | kSensorOnly},
    {"3037", Real<&TChnl::IdPL>(), 55, 55, "\"Начало входного диапазона преобразования\"",
     S | kSensorOnly},
    {"3038", Real<&TChnl::IdPH>(), 60, 60, "\"Конец входного диапазона преобразования\"",
     S | kSensorOnly},
    {"3042", Byte<&TChnl::SEnC>(), 65, 65, "\"Тип компенсатора\"", S | kSensorOnly},
    {"3050", Byte<&TChnl::ttYP>(), 80, 80, "\"Вторичная обработка датчика\"", S},
    {"0002", Real<&TChnl::SEt1>(), 85, 85, "\"Уставка 1\"", S},
    {"0003", Real<&TChnl::HYS1>(), kKeep, kKeep, "\"Гистерезис 1\"", S},
    {"0004", Real<&TChnl::SEt2>(), 90, 90, "\"Уставка 2\"", S},
    {"0005", Real<&TChnl::HYS2>(), kKeep, kKeep, "\"Гистерезис 2\"", S},
    {"0006", Real<&TChnl::SEt3>(), 95, 95, "\"Уставка 3\"", S},
    {"0007", Real<&TChnl::HYS3>(), kKeep, kKeep, "\"Гистерезис 3\""},
}};

// Every value, whatever nLin and nPol say.
const std::array<Param, 22> kKoefs = {{
    {"008800", Byte<&TDevice::nLin>(), 5, 5, "\"nLin\"", S},
    {"008801", Real<&TDevice::LiH1>(), 10, 10, "\"LiH1\"", S},
    {"008802", Real<&TDevice::LiY1>(), 15, 15, "\"LiY1\"", S},
    {"008803", Real<&TDevice::LiH2>(), 20, 20, "\"LiH2\"", S},
    {"008804", Real<&TDevice::LiY2>(), 25, 25, "\"LiY2\"", S},
    {"008805", Real<&TDevice::LiH3>(), 30, 30, "\"LiH3\"", S},
    {"008806", Real<&TDevice::LiY3>(), 35, 35, "\"LiY3\"", S},
    {"008807", Real<&TDevice::LiH4>(), 40, 40, "\"LiH4\"", S},
    {"008808", Real<&TDevice::LiY4>(), 45, 45, "\"LiY4\"", S},
    {"008809", Real<&TDevice::LiH5>(), 50, 50, "\"LiH5\"", S},
    {"00880A", Real<&TDevice::LiY5>(), 55, 55, "\"LiY5\""},
    {"008900", Byte<&TDevice::nPol>(), 55, 55, "\"nPol\"", S},
    {"008901", Real<&TDevice::b0>(), 60, 60, "\"b0\"", S},
    {"008902", Real<&TDevice::A0>(), 65, 65, "\"A0\"", S},
    {"008903", Real<&TDevice::A1>(), 70, 70, "\"A1\"", S},
    {"008904", Real<&TDevice::A2>(), 75, 75, "\"A2\"", S},
    {"008905", Real<&TDevice::A3>(), 80, 80, "\"A3\"", S},
    {"008906", Real<&TDevice::A4>(), 85, 85, "\"A4\"", S},
    {"008907", Real<&TDevice::A5>(), 90, 90, "\"A5\"", S},
    {"008908", Real<&TDevice::A6>(), 95, 95, "\"A6\"", S},
    {"008909", Real<&TDevice::A7>(), kKeep, kKeep, "\"A7\"", S},
    {"00890A", Real<&TDevice::A8>(), kKeep, kKeep, "\"A8\""},
}};

// The delay settings first; the table itself only when no stop came.
const std::array<Param, 5> kRelays = {{
    {"002110", Byte<&TDevice::nrL1>(), 5, 5, "\"nrL1\""},
    {"002111", Byte<&TDevice::nrL2>(), 20, 20, "\"nrL2\""},
    {"002112", Byte<&TDevice::nrL3>(), 40, 40, "\"nrL3\""},
    {"002113", Byte<&TDevice::nrL4>(), 60, 60, "\"nrL4\"", S},
    {"00200C", Table<&TDevice::relTbl>(), 80, 80, "\"relTbl\""},
}};

const std::array<Param, 3> kPasswords = {{
    {"005001", Password<&TDevice::Pass1>(), 25, 25, "\"Pass1\""},
    {"005002", Password<&TDevice::Pass2>(), 50, 50, "\"Pass2\""},
    {"005003", Password<&TDevice::Pass3>(), 75, 75, "\"Pass3\""},
}};

const std::array<Param, 5> kAnalogOutput = {{
    {"3F01", Byte<&TDevice::SrO>(), 25, 25, "\"Источник данных для ПВИ\""},
    {"3F02", Byte<&TDevice::OtP>(), 40, 40, "\"Режим работы ПВИ \"", S},
    {"3F03", Real<&TDevice::OdL>(), 60, 60, "\"Начало выходного диапазона преобразования\"", S},
    {"3F04", Real<&TDevice::OdH>(), 75, 80, "\"Конец выходного диапазона преобразования\"", S},
    {"3F05", Real<&TDevice::OEr>(), 90, 90, "\"Значение ПВИ при ошибке\""},
}};

// A group: its table and its texts.
struct Group {
    std::string_view readStatus;  // the channel group's get the channel and "..." added
    std::string_view writeStatus;
    std::string_view readDone;
    std::span<const Param> params;
};

const Group kChannelGroup{"Идёт чтение параметров канала ", "Идёт запись параметров канала ",
                          kReadDone, kChannelBlock};
const Group kKoefGroup{"Идёт чтение коэффициентов...", "Идёт запись коэффициентов...", kReadDone,
                       kKoefs};
const Group kRelayGroup{"Идёт чтение таблицы реле...", "Идёт запись таблицы реле...", kReadDone,
                        kRelays};
const Group kPasswordGroup{"Идёт чтение паролей...", "Идёт запись паролей...",
                           "Чтение паролей успешно завершено.", kPasswords};
const Group kAnalogOutputGroup{"Идёт чтение ПВИ...", "Идёт запись ПВИ...",
                               "Чтение параметров ПВИ успешно завершено.", kAnalogOutput};

// What one call adds to its group.
struct Scope {
    std::string prefix;           // before the four-character codes
    std::string statusTail;       // after the group's status text
    std::string place;            // in a failed write's message, after the port
    std::span<const Param> lead;  // exchanged before the group's own table
    TChnl* channel = nullptr;
    bool calculated = false;  // the calculated channel: sensor rows are left out
};

enum class Direction { Read, Write };

// The frame every group runs in: hand-over, preparation, port set-up,
// transactions, close, finish.
class Exchange {
  public:
    Exchange(TModel& model, TDevice& device, const Group& group, Direction direction,
             const Scope& scope)
        : model_(model),
          ui_(model.Surfaces()),
          device_(device),
          group_(group),
          writing_(direction == Direction::Write),
          scope_(scope) {}

    ExchangeEnd Run() {
        TParams& handOver = *device_.Regs[1];
        bool stopped = !RequestPort(model_, handOver, device_.ParentPort, HandOver::Pause,
                                    &model_.StopFlag, /*processEvents=*/true);
        TResult code = rc::Ok;
        std::string failure;
        if (!stopped) {
            ui_.ClearErrorLog();
            ui_.SetProgress(0);
            ui_.SetStatus(std::string(writing_ ? group_.writeStatus : group_.readStatus) +
                          scope_.statusTail);
            std::unique_ptr<TExCOM> port = model_.NewPort();
            // A refused rate is a failure like any other: taken for success,
            // the dialog would close on values the instrument never got.
            code = ConfigurePort(*port, device_.Baudrate, kReplyTimeoutMs);
            if (code == rc::Ok && device_.Present) {
                code = port->OpenPort(device_.ParentPort);
                if (code == rc::Ok && !model_.StopFlag) code = Transactions(*port);
                port->ClosePort();
            }
            if (code != rc::Ok) failure = Report(code);
            FreePort(port);
        }

        stopped = stopped || model_.StopFlag;
        ExchangeEnd end;
        if (stopped) {
            end = {Outcome::Stopped, writing_ ? kWriteStopped : ""};
        } else if (code != rc::Ok) {
            end = {Outcome::Failed, failure};
        } else {
            ui_.AddErrorLine(writing_ ? std::string(kWriteDone) : std::string(group_.readDone));
        }
        ui_.SetStatus("");
        ReleasePort(handOver, HandOver::Pause);
        ui_.SetProgress(0);
        return end;
    }

  private:
    // Ok also when a stop point saw StopFlag; the first failure ends it with
    // its code.
    TResult Transactions(TExCOM& port) {
        const Target target{device_, scope_.channel};
        for (std::span<const Param> block : {scope_.lead, group_.params}) {
            for (const Param& p : block) {
                if (writing_ && (p.flags & kReadOnly) != 0) continue;
                const int progress = writing_ ? p.writeProgress : p.readProgress;
                if (progress != kKeep) ui_.SetProgress(progress);
                if (!(scope_.calculated && (p.flags & kSensorOnly) != 0)) {
                    const TResult code = Transact(port, target, p);
                    if (code != rc::Ok) return code;
                }
                if ((p.flags & kStopAfter) != 0 && model_.StopFlag) return rc::Ok;
            }
        }
        ui_.SetProgress(100);
        return rc::Ok;
    }

    TResult Transact(TExCOM& port, const Target& target, const Param& p) {
        const std::string number =
            p.number.size() == 4 ? scope_.prefix + std::string(p.number) : std::string(p.number);
        if (writing_) {
            label_ = p.label;
            std::optional<std::string> text = p.codec.encode(target);
            // A real beyond the single's range or a password that is no four
            // hexadecimal digits cannot be sent at all.
            if (!text) return rc::BadArgument;
            return WriteParam(port, device_.Address, number, *text);
        }
        std::string text;
        TResult code = ReadParam(port, device_.Address, number, text);
        if (code == rc::Ok && !p.codec.decode(target, text)) code = rc::BadPayload;
        return code;
    }

    // Adds the failure's line to the error log and returns the write's
    // message for it.
    std::string Report(TResult code) {
        const std::string& portName = device_.ParentPort;
        const std::string_view label = writing_ ? label_ : std::string_view();
        ui_.AddErrorLine(Format({.code = code, .port = portName, .tail = std::string(label)}));
        return Format({.code = code,
                       .port = portName,
                       .place = scope_.place,
                       .tail = std::string(label),
                       .time = false});
    }

    TModel& model_;
    TSurfaces& ui_;
    TDevice& device_;
    const Group& group_;
    const bool writing_;
    const Scope& scope_;
    std::string_view label_;  // the parameter a write attempted last
};

// The instrument, when there is one to exchange with.
TDevice* Exchangeable(TModel& model, std::uint8_t d) {
    TDevice* device = model.Device(d);
    if (device == nullptr || device->Regs[1] == nullptr) return nullptr;
    return device;
}

ExchangeEnd Read(TModel& model, std::uint8_t d, const Group& group, const Scope& scope = {}) {
    TDevice* device = Exchangeable(model, d);
    if (device == nullptr) return {};
    return Exchange(model, *device, group, Direction::Read, scope).Run();
}

ExchangeEnd Write(TModel& model, std::uint8_t d, const Group& group, const Scope& scope = {}) {
    TDevice* device = Exchangeable(model, d);
    if (device == nullptr) return {};
    return Exchange(model, *device, group, Direction::Write, scope).Run();
}

// Nothing when the instrument has no record for the channel.
std::optional<Scope> ChannelScope(TModel& model, std::uint8_t d, std::uint8_t channel) {
    TDevice* device = Exchangeable(model, d);
    if (device == nullptr || channel < 1 || channel > 3) return std::nullopt;
    TChnl* record = device->Chnls[channel].get();
    if (record == nullptr) return std::nullopt;
    const std::string digit = std::to_string(channel);
    Scope scope;
    scope.prefix = "0" + digit;
    scope.statusTail = digit + "...";
    scope.place = " Канал " + digit;
    if (channel == 1) scope.lead = kInstrumentBlock;
    scope.channel = record;
    scope.calculated = channel == 3;
    return scope;
}

std::optional<Scope> OutputScope(std::string_view prefix) {
    if (prefix != "01" && prefix != "02") return std::nullopt;
    Scope scope;
    scope.prefix = std::string(prefix);
    return scope;
}

}  // namespace

ExchangeEnd ReadChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel) {
    const auto scope = ChannelScope(model, d, channel);
    return scope ? Read(model, d, kChannelGroup, *scope) : ExchangeEnd{Outcome::Failed, {}};
}

ExchangeEnd WriteChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel) {
    const auto scope = ChannelScope(model, d, channel);
    return scope ? Write(model, d, kChannelGroup, *scope) : ExchangeEnd{};
}

ExchangeEnd ReadKoefs(TModel& model, std::uint8_t d) {
    return Read(model, d, kKoefGroup);
}

ExchangeEnd WriteKoefs(TModel& model, std::uint8_t d) {
    return Write(model, d, kKoefGroup);
}

ExchangeEnd ReadRelayTable(TModel& model, std::uint8_t d) {
    return Read(model, d, kRelayGroup);
}

ExchangeEnd WriteRelayTable(TModel& model, std::uint8_t d) {
    return Write(model, d, kRelayGroup);
}

ExchangeEnd ReadPasswords(TModel& model, std::uint8_t d) {
    return Read(model, d, kPasswordGroup);
}

ExchangeEnd WritePasswords(TModel& model, std::uint8_t d) {
    return Write(model, d, kPasswordGroup);
}

ExchangeEnd ReadAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix) {
    if (model.Device(d) == nullptr) return {};
    const auto scope = OutputScope(prefix);
    return scope ? Read(model, d, kAnalogOutputGroup, *scope) : ExchangeEnd{Outcome::Failed, {}};
}

ExchangeEnd WriteAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix) {
    const auto scope = OutputScope(prefix);
    return scope ? Write(model, d, kAnalogOutputGroup, *scope) : ExchangeEnd{};
}

}  // namespace zorvat
